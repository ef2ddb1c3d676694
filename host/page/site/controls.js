// controls.js -- the page's dials: position and seek, volume, the spectrum's sensitivity and calm, the picture's size,
// the frames-a-second readout and hiding the panel.
'use strict';

const readout = { frames: 0, since: 0 };

function clockText(seconds) {
  const whole = Math.max(0, Math.floor(seconds));
  const minutes = Math.floor(whole / 60);
  const hours = Math.floor(minutes / 60);
  const two = n => String(n).padStart(2, '0');
  return hours ? `${hours}:${two(minutes % 60)}:${two(whole % 60)}` : `${minutes}:${two(whole % 60)}`;
}

// The position bar follows the music unless the visitor is dragging it; a live sound has no end to seek in.
function updatePosition() {
  const seekable = page.running && page.buffer !== null;
  const duration = seekable ? page.buffer.duration : 0;
  const position = page.running ? heardSeconds() : 0;
  elements.seek.disabled = !seekable;
  elements.seek.max = String(duration);
  if (!readout.dragging)
    elements.seek.value = String(Math.min(position, duration));
  const shown = readout.dragging ? Number(elements.seek.value) : position;
  elements.time.textContent = seekable ? `${clockText(shown)} / ${clockText(duration)}` : page.running ? clockText(shown) : '';
}

// Called after every frame drawn: the readout counts them over about a second.
function frameDrawn() {
  const now = performance.now();
  ++readout.frames;
  if (!readout.since)
    readout.since = now;
  if (now - readout.since >= 1000) {
    elements.fps.textContent = `${(readout.frames * 1000 / (now - readout.since)).toFixed(1)} fps`;
    readout.frames = 0;
    readout.since = now;
  }
  updatePosition();
}

// The spectrum shaper of the host's frame layer: the native host's --sensitivity and --calm.
function applyShaping() {
  if (page.module)
    page.module._gloamer_set_shaping(Number(elements.sensitivity.value), elements.calm.checked ? 1 : 0);
  elements.sensitivity.parentElement.title = `Sensitivity ${Number(elements.sensitivity.value).toFixed(2)}`;
}

elements.seek.addEventListener('input', () => { readout.dragging = true; updatePosition(); });
elements.seek.addEventListener('change', () => {
  readout.dragging = false;
  seek(Number(elements.seek.value));
});
elements.volume.addEventListener('input', () => {
  if (page.volume)
    page.volume.gain.value = Number(elements.volume.value);
});
elements.sensitivity.addEventListener('input', () => applyShaping());
elements.calm.addEventListener('change', () => applyShaping());
elements.size.addEventListener('change', () => fitCanvas());
elements.hide.addEventListener('click', () => elements.panel.classList.toggle('hidden'));
applyShaping();
fitCanvas(false);

// page.js -- the page's side of Gloamer: decoding and playing the music, the frame loop, keys, recording.
'use strict';

const logoPath = '/gloamer/vis_gloamer.bmp'; // beside the plug-in's own name in the program's file system
const elements = {};
for (const id of ['demo', 'file', 'pause', 'fullscreen', 'record', 'sensitivity', 'calm', 'canvas', 'stage', 'status',
                  'error', 'download'])
  elements[id] = document.getElementById(id);

const page = {
  module: null,
  audio: null,         // the AudioContext, made on the first play (browsers want a gesture before sound)
  toRecorder: null,    // the music's way into a recording
  source: null,        // the playing AudioBufferSourceNode
  startedAt: 0,        // the audio clock's time at the track's start
  running: false,
  paused: false,
  frame: 0,            // the pending animation frame
  recorder: null,
  message: '',         // the plug-in's last message box
};

function say(text) {
  elements.status.textContent = text;
}

// Errors are one line; the next good start clears it.
function fail(text) {
  elements.error.textContent = text;
  say('');
}

// The plug-in's message boxes: a page cannot wait on a dialog inside a frame, so they are shown in the error line
// (and kept, as they say why the plug-in did not start).
window.gloamerMessageBox = (caption, text) => {
  page.message = `${caption}: ${text}`;
  fail(page.message);
};

function lastError() {
  return page.module.UTF8ToString(page.module._gloamer_last_error());
}

function setPlaying(playing) {
  for (const id of ['pause', 'fullscreen', 'record'])
    elements[id].disabled = !playing;
  elements.pause.textContent = 'Pause';
}

async function boot() {
  if (!document.createElement('canvas').getContext('webgl2')) {
    fail('This browser has no WebGL 2, which Gloamer draws with: try a current Chrome, Firefox or Safari.');
    return;
  }
  try {
    page.module = await createGloamer({ canvas: elements.canvas });
    const logo = await fetch('vis_gloamer.bmp');
    if (!logo.ok)
      throw new Error(`the logo vis_gloamer.bmp is missing beside the page (${logo.status})`);
    page.module.FS.mkdirTree('/gloamer');
    page.module.FS.writeFile(logoPath, new Uint8Array(await logo.arrayBuffer()));
  } catch (error) {
    fail(`Gloamer could not start: ${error.message || error}`);
    return;
  }
  elements.demo.disabled = false;
  say('Ready: drop a song, open one, or play the demo.');
}

function audioContext() {
  if (!page.audio) {
    page.audio = new AudioContext();
    page.toRecorder = page.audio.createMediaStreamDestination();
  }
  return page.audio;
}

// Where in the track the listener is: the audio clock less what is still on its way to the speakers.
function heardSeconds() {
  const audio = page.audio;
  return Math.max(0, audio.currentTime - page.startedAt - (audio.outputLatency || audio.baseLatency || 0));
}

function stop(text) {
  cancelAnimationFrame(page.frame);
  page.running = false;
  if (page.recorder)
    stopRecording();
  if (page.source) {
    page.source.onended = null;
    page.source.stop();
    page.source = null;
  }
  if (page.module)
    page.module._gloamer_stop();
  if (document.fullscreenElement)
    document.exitFullscreen();
  setPlaying(false);
  if (text !== undefined)
    say(text);
}

// The track is in the program's memory already; this plays `buffer` and starts the plug-in on it.
async function play(buffer, name) {
  stop();
  elements.error.textContent = '';
  const audio = audioContext();
  await audio.resume();
  page.message = '';
  if (page.module._gloamer_start() !== 0) {
    fail(`Gloamer could not start: ${page.message || lastError()}`);
    return;
  }
  applyShaping();
  page.source = audio.createBufferSource();
  page.source.buffer = buffer;
  page.source.connect(audio.destination);
  page.source.connect(page.toRecorder);
  page.source.onended = () => stop(`Played ${name} to the end.`);
  page.startedAt = audio.currentTime;
  page.source.start();
  page.running = true;
  page.paused = false;
  setPlaying(true);
  say(`Playing ${name}.`);
  elements.canvas.focus();
  page.frame = requestAnimationFrame(drawFrame);
}

// The spectrum's sensitivity and calm, as the native host's --sensitivity and --calm.
function applyShaping() {
  if (page.module)
    page.module._gloamer_set_shaping(Number(elements.sensitivity.value), elements.calm.checked ? 1 : 0);
}
elements.sensitivity.addEventListener('input', applyShaping);
elements.calm.addEventListener('change', applyShaping);

const actions = {
  1: () => togglePause(),
  2: () => toggleFullscreen(),
  3: () => stop('Stopped.'),
  4: () => stop('Stopped.'),
};

function drawFrame() {
  if (!page.running)
    return;
  const action = page.module._gloamer_frame(heardSeconds(), page.paused ? 1 : 0);
  if (action < 0) {
    stop();
    fail(`Gloamer stopped: ${lastError()}`);
    return;
  }
  // The drawing buffer is only readable in the task that drew it.
  if (page.afterFrame)
    page.afterFrame();
  if (actions[action])
    actions[action]();
  if (page.running)
    page.frame = requestAnimationFrame(drawFrame);
}

async function togglePause() {
  if (!page.running)
    return;
  page.paused = !page.paused;
  elements.pause.textContent = page.paused ? 'Play' : 'Pause';
  if (page.paused)
    await page.audio.suspend();
  else
    await page.audio.resume();
}

function toggleFullscreen() {
  if (document.fullscreenElement)
    document.exitFullscreen();
  else
    elements.canvas.requestFullscreen().catch(error => fail(`Full screen was refused: ${error.message}`));
}

async function playDemo() {
  const module = page.module;
  const samples = module._gloamer_demo_track();
  if (!samples) {
    fail(`The demo could not be made: ${lastError()}`);
    return;
  }
  const frames = module._gloamer_track_frames();
  const channels = module._gloamer_track_channels();
  const buffer = audioContext().createBuffer(channels, frames, module._gloamer_track_rate());
  const pcm = module.HEAP16.subarray(samples >> 1, (samples >> 1) + frames * channels);
  for (let channel = 0; channel < channels; ++channel) {
    const out = buffer.getChannelData(channel);
    for (let i = 0; i < frames; ++i)
      out[i] = pcm[i * channels + channel] / 32768;
  }
  await play(buffer, 'the demo');
}

// Any file the browser decodes; its first two channels go to the analyser as 16-bit samples.
async function playFile(file) {
  let buffer;
  try {
    buffer = await audioContext().decodeAudioData(await file.arrayBuffer());
  } catch (error) {
    stop();
    fail(`Cannot play '${file.name}': the browser cannot decode it as audio.`);
    return;
  }
  const module = page.module;
  const channels = Math.min(2, buffer.numberOfChannels);
  const samples = module._gloamer_track_buffer(buffer.length, channels, buffer.sampleRate);
  if (!samples) {
    fail(`Cannot play '${file.name}': ${lastError()}`);
    return;
  }
  const pcm = module.HEAP16.subarray(samples >> 1, (samples >> 1) + buffer.length * channels);
  for (let channel = 0; channel < channels; ++channel) {
    const data = buffer.getChannelData(channel);
    for (let i = 0; i < data.length; ++i)
      pcm[i * channels + channel] = Math.max(-32768, Math.min(32767, Math.round(data[i] * 32768)));
  }
  await play(buffer, `'${file.name}'`);
}

// The canvas and the music, as they are played, into a WebM the user downloads.
function startRecording() {
  const stream = elements.canvas.captureStream(30);
  for (const track of page.toRecorder.stream.getAudioTracks())
    stream.addTrack(track);
  const type = ['video/webm;codecs=vp8,opus', 'video/webm'].find(t => MediaRecorder.isTypeSupported(t));
  const recorder = new MediaRecorder(stream, type ? { mimeType: type } : undefined);
  const chunks = [];
  recorder.ondataavailable = event => { if (event.data.size) chunks.push(event.data); };
  recorder.onstop = () => {
    const url = URL.createObjectURL(new Blob(chunks, { type: 'video/webm' }));
    const link = document.createElement('a');
    link.href = url;
    link.download = 'gloamer.webm';
    link.textContent = 'Download the recording (gloamer.webm)';
    elements.download.replaceChildren(link);
    link.click();
  };
  recorder.start(1000);
  page.recorder = recorder;
  elements.record.textContent = 'Stop recording';
  elements.record.classList.add('on');
}

function stopRecording() {
  page.recorder.stop();
  page.recorder = null;
  elements.record.textContent = 'Record';
  elements.record.classList.remove('on');
}

elements.demo.addEventListener('click', () => playDemo());
elements.file.addEventListener('change', () => {
  if (elements.file.files.length)
    playFile(elements.file.files[0]);
  elements.file.value = '';
});
elements.pause.addEventListener('click', () => togglePause());
elements.fullscreen.addEventListener('click', () => toggleFullscreen());
elements.record.addEventListener('click', () => (page.recorder ? stopRecording() : startRecording()));

for (const type of ['dragenter', 'dragover'])
  document.addEventListener(type, event => {
    event.preventDefault();
    elements.stage.classList.add('over');
  });
document.addEventListener('dragleave', () => elements.stage.classList.remove('over'));
document.addEventListener('drop', event => {
  event.preventDefault();
  elements.stage.classList.remove('over');
  const file = event.dataTransfer.files[0];
  if (!page.module)
    return;
  if (file)
    playFile(file);
});

// For tests and benchmarks: a frame data file drawn frame by frame on its own virtual clock, with no audio.
async function loadReplay(url) {
  stop();
  const module = page.module;
  const response = await fetch(url);
  if (!response.ok)
    throw new Error(`cannot fetch ${url} (${response.status})`);
  module.FS.writeFile('/replay.gfd', new Uint8Array(await response.arrayBuffer()));
  const count = module.ccall('gloamer_replay_load', 'number', ['string'], ['/replay.gfd']);
  if (count < 0)
    throw new Error(lastError());
  return count;
}

function replayFrame(index) {
  if (page.module._gloamer_replay_frame(index) !== 0)
    throw new Error(lastError());
}

// The canvas's RGBA pixels, top row first.
function canvasPixels() {
  const canvas = elements.canvas;
  const copy = document.createElement('canvas');
  copy.width = canvas.width;
  copy.height = canvas.height;
  const context = copy.getContext('2d');
  context.drawImage(canvas, 0, 0);
  return context.getImageData(0, 0, copy.width, copy.height).data;
}

window.gloamerTestHooks = {
  // A sum and a hash of the next frame the page draws, read from the canvas as soon as it is drawn.
  nextFrame() {
    return new Promise(resolve => {
      page.afterFrame = () => {
        page.afterFrame = null;
        const rgba = canvasPixels();
        let sum = 0, hash = 0;
        for (let i = 0; i < rgba.length; i += 4) {
          sum += rgba[i] + rgba[i + 1] + rgba[i + 2];
          hash = (hash * 31 + rgba[i] + 7 * rgba[i + 1] + 13 * rgba[i + 2]) | 0;
        }
        resolve({ sum, hash });
      };
    });
  },
  // Draws frames 0 to the last asked for, in order (each frame builds on the one before), and gives the asked
  // ones as RGBA pixels in base64, read from the canvas right after they were drawn.
  async replay(url, indices) {
    const count = await loadReplay(url);
    const last = Math.min(count - 1, Math.max(...indices));
    const frames = [];
    for (let k = 0; k <= last; ++k) {
      replayFrame(k);
      if (!indices.includes(k))
        continue;
      const rgba = canvasPixels();
      let binary = '';
      for (let i = 0; i < rgba.length; i += 0x8000)
        binary += String.fromCharCode.apply(null, rgba.subarray(i, i + 0x8000));
      frames.push({ index: k, width: elements.canvas.width, height: elements.canvas.height, rgba: btoa(binary) });
    }
    page.module._gloamer_stop();
    return frames;
  },
  // Frames a second the page shows drawing the file's frames once per animation frame for `seconds`, at a size.
  async speed(url, seconds, width, height) {
    const frames = await loadReplay(url);
    const canvas = elements.canvas;
    Object.assign(canvas.style, { width: `${width}px`, height: `${height}px`, maxWidth: 'none' });
    window.dispatchEvent(new Event('resize'));
    replayFrame(0);
    const drawn = await new Promise(resolve => {
      let k = 1;
      const started = performance.now();
      const draw = () => {
        replayFrame(k % frames);
        if (performance.now() - started < seconds * 1000) {
          ++k;
          requestAnimationFrame(draw);
        } else {
          resolve({ frames: k, seconds: (performance.now() - started) / 1000 });
        }
      };
      requestAnimationFrame(draw);
    });
    const size = `${canvas.width}x${canvas.height}`;
    page.module._gloamer_stop();
    Object.assign(canvas.style, { width: '', height: '', maxWidth: '' });
    return { size, framesPerSecond: drawn.frames / drawn.seconds };
  },
};

boot();

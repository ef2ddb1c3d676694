// page.js -- the page's core: the program's track and the music that plays it, the frame loop, keys, recording,
// and the hooks the tests and the benchmark drive it through. The other scripts add the controls, the playlist,
// live sound and the start-up.
'use strict';

const logoPath = '/gloamer/vis_gloamer.bmp'; // beside the plug-in's own name in the program's file system
const elements = {};
for (const element of document.querySelectorAll('[id]'))
  elements[element.id] = element;

const page = {
  module: null,
  audio: null,         // the AudioContext, made on the first play (browsers want a gesture before sound)
  volume: null,        // the gain between the music and the speakers
  toRecorder: null,    // the music's way into a recording
  buffer: null,        // the decoded track that plays
  source: null,        // the playing AudioBufferSourceNode
  startedAt: 0,        // the audio clock's time at the track's start
  clock: null,         // what is heard now, in seconds of the host's track (null: the playing buffer's position)
  onEnded: null,       // what to do when the track has played to its end
  running: false,
  paused: false,
  frame: 0,            // the pending animation frame
  recorder: null,
  message: '',         // the plug-in's last message box
  pressedAt: 0,        // performance.now() of the last press of a play control, and of the first frame after it
  firstFrameAt: 0,
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
  updatePosition();
}

function audioContext() {
  if (!page.audio) {
    page.audio = new AudioContext();
    page.volume = page.audio.createGain();
    page.volume.gain.value = Number(elements.volume.value);
    page.volume.connect(page.audio.destination);
    page.toRecorder = page.audio.createMediaStreamDestination();
  }
  return page.audio;
}

// Where in the track the listener is: the audio clock less what is still on its way to the speakers.
function heardSeconds() {
  if (page.clock)
    return page.clock();
  const audio = page.audio;
  return Math.max(0, audio.currentTime - page.startedAt - (audio.outputLatency || audio.baseLatency || 0));
}

// The picture at the size picked (the window's by default), in CSS pixels; the plug-in's window takes the size the
// canvas is shown at when told of a resize, as the native window follows its frame.
function fitCanvas(announce = true) {
  const canvas = elements.canvas;
  const picked = /^(\d+)x(\d+)$/.exec(elements.size.value);
  const width = picked ? Number(picked[1]) : innerWidth;
  const height = picked ? Number(picked[2]) : innerHeight;
  Object.assign(canvas.style, { width: `${width}px`, height: `${height}px`,
                                left: `${Math.max(0, (innerWidth - width) / 2)}px`,
                                top: `${Math.max(0, (innerHeight - height) / 2)}px` });
  if (announce)
    window.dispatchEvent(new Event('resize'));
}

function stopSource() {
  if (!page.source)
    return;
  page.source.onended = null;
  page.source.stop();
  page.source = null;
}

function stop(text) {
  cancelAnimationFrame(page.frame);
  page.running = false;
  if (page.recorder)
    stopRecording();
  stopSource();
  stopLive();
  page.buffer = null;
  page.clock = null;
  if (page.module)
    page.module._gloamer_stop();
  if (document.fullscreenElement)
    document.exitFullscreen();
  setPlaying(false);
  if (text !== undefined)
    say(text);
}

// Starts the plug-in on the host's track as it is; false (and the reason in the error line) when it cannot start.
function startPlugin() {
  page.message = '';
  if (page.module._gloamer_start() !== 0) {
    fail(`Gloamer could not start: ${page.message || lastError()}`);
    return false;
  }
  fitCanvas();
  return true;
}

// The playing buffer from `offset` seconds on, the audio clock keeping the position.
function startSource(offset) {
  stopSource();
  const audio = page.audio;
  page.source = audio.createBufferSource();
  page.source.buffer = page.buffer;
  page.source.connect(page.volume);
  page.source.connect(page.toRecorder);
  page.source.onended = () => (page.onEnded ? page.onEnded() : stop('Played to the end.'));
  page.startedAt = audio.currentTime - offset;
  page.source.start(0, offset);
}

// Moves the music, and with it the picture, to `seconds` into the track.
function seek(seconds) {
  if (!page.running || !page.buffer)
    return;
  startSource(Math.max(0, Math.min(seconds, page.buffer.duration - 0.05)));
  updatePosition();
}

// Begins the frame loop on what the plug-in was started for.
function run(name) {
  page.running = true;
  page.paused = false;
  setPlaying(true);
  say(`Playing ${name}.`);
  elements.canvas.focus();
  page.frame = requestAnimationFrame(drawFrame);
}

// The track is in the program's memory already; this plays `buffer` and starts the plug-in on it.
async function play(buffer, name, onEnded = null) {
  stop();
  elements.error.textContent = '';
  const audio = audioContext();
  await audio.resume();
  if (!startPlugin())
    return;
  page.buffer = buffer;
  page.onEnded = onEnded || (() => stop(`Played ${name} to the end.`));
  startSource(0);
  run(name);
}

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
  if (!page.firstFrameAt)
    page.firstFrameAt = performance.now();
  frameDrawn();
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

// A press of a play control: the start-up time is measured from here to the first frame drawn.
function pressed() {
  page.pressedAt = performance.now();
  page.firstFrameAt = 0;
}

// The demo, made once by the program as the page starts (it takes a while to synthesise): its samples as the program
// holds them, and as the channels the music plays from.
function makeDemo() {
  const module = page.module;
  const samples = module._gloamer_demo_track();
  if (!samples)
    return null;
  const frames = module._gloamer_track_frames();
  const count = module._gloamer_track_channels();
  const pcm = module.HEAP16.slice(samples >> 1, (samples >> 1) + frames * count);
  const channels = [];
  for (let channel = 0; channel < count; ++channel) {
    const out = new Float32Array(frames);
    for (let i = 0; i < frames; ++i)
      out[i] = pcm[i * count + channel] / 32768;
    channels.push(out);
  }
  return { pcm, channels, rate: module._gloamer_track_rate() };
}

async function playDemo() {
  const demo = page.demo;
  const module = page.module;
  if (!demo) {
    fail(`The demo could not be made: ${lastError()}`);
    return;
  }
  const frames = demo.channels[0].length;
  const samples = module._gloamer_track_buffer(frames, demo.channels.length, demo.rate);
  if (!samples) {
    fail(`The demo could not be played: ${lastError()}`);
    return;
  }
  module.HEAP16.set(demo.pcm, samples >> 1);
  const buffer = audioContext().createBuffer(demo.channels.length, frames, demo.rate);
  demo.channels.forEach((data, channel) => buffer.copyToChannel(data, channel));
  showPlaylist([]);
  await play(buffer, 'the demo');
}

// Any file the browser decodes; its first two channels go to the analyser as 16-bit samples. Resolves to false
// (the reason in the error line) when it cannot be played.
async function playFile(file, onEnded) {
  let buffer;
  try {
    buffer = await audioContext().decodeAudioData(await file.arrayBuffer());
  } catch (error) {
    stop();
    fail(`Cannot play '${file.name}': the browser cannot decode it as audio.`);
    return false;
  }
  const module = page.module;
  const channels = Math.min(2, buffer.numberOfChannels);
  const samples = module._gloamer_track_buffer(buffer.length, channels, buffer.sampleRate);
  if (!samples) {
    stop();
    fail(`Cannot play '${file.name}': ${lastError()}`);
    return false;
  }
  const pcm = module.HEAP16.subarray(samples >> 1, (samples >> 1) + buffer.length * channels);
  for (let channel = 0; channel < channels; ++channel) {
    const data = buffer.getChannelData(channel);
    for (let i = 0; i < data.length; ++i)
      pcm[i * channels + channel] = Math.max(-32768, Math.min(32767, Math.round(data[i] * 32768)));
  }
  await play(buffer, `'${file.name}'`, onEnded);
  return page.running;
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

// The controls that need the program, once it is ready.
function ready() {
  page.demo = makeDemo();
  for (const id of ['demo', 'mic', 'screen'])
    elements[id].disabled = false;
  applyShaping();
  say('Ready: drop songs or a folder, open some, listen live, or play the demo.');
}

elements.demo.addEventListener('click', () => { pressed(); playDemo(); });
elements.pause.addEventListener('click', () => togglePause());
elements.fullscreen.addEventListener('click', () => toggleFullscreen());
elements.record.addEventListener('click', () => (page.recorder ? stopRecording() : startRecording()));
addEventListener('resize', () => fitCanvas(false));

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
  speedProgress() {
    return page.speedProgress || { started: false, frames: 0 };
  },
  // From the last press of a play control to the first frame drawn after it, in milliseconds (0: none yet).
  startUp() {
    return page.firstFrameAt ? page.firstFrameAt - page.pressedAt : 0;
  },
  // Frames a second the page shows drawing the file's frames once per animation frame for `seconds`, at a size,
  // timed from the first animation frame after frame 0 was drawn; speedProgress() tells a benchmark meanwhile
  // whether timing has started and how many frames were drawn since.
  async speed(url, seconds, width, height) {
    const progress = page.speedProgress = { started: false, frames: 0 }; // not the last run's while loading
    const frames = await loadReplay(url);
    const canvas = elements.canvas;
    const size = elements.size;
    const picked = size.value;
    size.add(new Option(`${width} × ${height}`, `${width}x${height}`));
    size.value = `${width}x${height}`;
    fitCanvas();
    replayFrame(0);
    const drawn = await new Promise(resolve => {
      let started = 0;
      const draw = () => {
        if (!started) {
          started = performance.now();
          progress.started = true;
        }
        replayFrame((progress.frames + 1) % frames);
        ++progress.frames;
        if (performance.now() - started < seconds * 1000)
          requestAnimationFrame(draw);
        else
          resolve({ frames: progress.frames, seconds: (performance.now() - started) / 1000 });
      };
      requestAnimationFrame(draw);
    });
    const drawnSize = `${canvas.width}x${canvas.height}`;
    page.module._gloamer_stop();
    size.value = picked;
    fitCanvas();
    return { size: drawnSize, frames: drawn.frames, framesPerSecond: drawn.frames / drawn.seconds };
  },
};


// live.js -- a live sound as the music: the microphone or a line input, or the sound of a tab or the screen. An audio
// worklet hands its samples over in blocks; the program keeps the newest and the picture follows them as they come.
'use strict';

const live = { stream: null, nodes: [], workletLoaded: null };

// The worklet's code, as a module of its own made here, so that the page needs no other file to fetch for it.
const captureWorklet = `
class GloamerCapture extends AudioWorkletProcessor {
  constructor() {
    super();
    this.block = new Int16Array(2 * 1024);
    this.filled = 0;
  }
  process(inputs) {
    const input = inputs[0];
    if (!input || !input.length)
      return true;
    const left = input[0], right = input[1] || input[0];
    for (let i = 0; i < left.length; ++i) {
      this.block[2 * this.filled] = Math.max(-32768, Math.min(32767, Math.round(left[i] * 32768)));
      this.block[2 * this.filled + 1] = Math.max(-32768, Math.min(32767, Math.round(right[i] * 32768)));
      if (++this.filled === this.block.length / 2) {
        this.port.postMessage(this.block, [this.block.buffer]);
        this.block = new Int16Array(2 * 1024);
        this.filled = 0;
      }
    }
    return true;
  }
}
registerProcessor('gloamer-capture', GloamerCapture);
`;

function stopLive() {
  for (const node of live.nodes)
    node.disconnect();
  live.nodes = [];
  if (live.stream) {
    for (const track of live.stream.getTracks()) {
      track.onended = null;
      track.stop();
    }
    live.stream = null;
  }
}

// Why a browser gave no stream, in words a visitor can act on.
function refusal(what, error) {
  if (error.name === 'NotAllowedError' || error.name === 'SecurityError')
    return `${what} was refused: allow it for this page in the browser and try again.`;
  if (error.name === 'NotFoundError' || error.name === 'OverconstrainedError')
    return `${what} is not there: this machine offers none to the browser.`;
  if (error.name === 'NotReadableError' || error.name === 'AbortError')
    return `${what} could not be opened: another program may be holding it.`;
  return `${what} could not be opened: ${error.message || error.name}.`;
}

async function listen(kind) {
  const what = kind === 'mic' ? 'The microphone' : "The tab's or screen's sound";
  const media = navigator.mediaDevices;
  const ask = kind === 'mic' ? media && media.getUserMedia : media && media.getDisplayMedia;
  if (!ask) {
    fail(`${what} is not offered here: this browser gives it only to pages served over https or from localhost.`);
    return;
  }
  pressed();
  stop();
  elements.error.textContent = '';
  const audio = audioContext();
  let stream;
  try {
    await audio.resume();
    stream = kind === 'mic'
      ? await media.getUserMedia({ audio: { echoCancellation: false, noiseSuppression: false, autoGainControl: false } })
      : await media.getDisplayMedia({ video: true, audio: true });
  } catch (error) {
    fail(refusal(what, error));
    return;
  }
  if (!stream.getAudioTracks().length) {
    for (const track of stream.getTracks())
      track.stop();
    fail(`${what} came without sound: share a tab or the screen with its audio ticked.`);
    return;
  }
  try {
    live.workletLoaded = live.workletLoaded ||
      audio.audioWorklet.addModule(URL.createObjectURL(new Blob([captureWorklet], { type: 'text/javascript' })));
    await live.workletLoaded;
  } catch (error) {
    live.workletLoaded = null;
    for (const track of stream.getTracks())
      track.stop();
    fail(`${what} cannot be listened to: this browser runs no audio worklet (${error.message}).`);
    return;
  }
  live.stream = stream;
  const module = page.module;
  module._gloamer_live_begin(audio.sampleRate, 2);
  if (!startPlugin()) {
    stopLive();
    return;
  }
  const source = audio.createMediaStreamSource(stream);
  const capture = new AudioWorkletNode(audio, 'gloamer-capture', { numberOfInputs: 1, numberOfOutputs: 1,
                                                                  outputChannelCount: [2] });
  capture.port.onmessage = event => {
    const block = event.data;
    const at = module._gloamer_live_buffer(block.length / 2);
    module.HEAP16.set(block, at >> 1);
    module._gloamer_live_push(block.length / 2);
  };
  // The worklet writes silence: it is joined to the speakers only so that the graph pulls it along. The sound itself
  // is not played back (a microphone would howl; a tab plays its own).
  source.connect(capture);
  capture.connect(audio.destination);
  source.connect(page.toRecorder);
  live.nodes = [source, capture];
  for (const track of stream.getAudioTracks())
    track.onended = () => stop(`${what} ended.`);
  page.clock = () => module._gloamer_live_heard_seconds();
  run(kind === 'mic' ? 'the microphone' : "the tab's or screen's sound");
  say(kind === 'mic' ? 'Listening to the microphone.' : "Listening to the tab's or screen's sound.");
}

elements.mic.addEventListener('click', () => listen('mic'));
elements.screen.addEventListener('click', () => listen('screen'));

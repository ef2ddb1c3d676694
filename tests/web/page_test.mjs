// page_test.mjs -- the page in headless chromium: it loads clean, plays the demo and a dropped song, draws a frame
// data file as the native host does, records a WebM with video and sound, follows the window's size, plays a
// playlist with seek, listens to a (fake) microphone, starts from a file and, kept by its worker, offline.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';
import { launchChromium, serve } from './page_server.mjs';

const site = process.env.GLOAMER_SITE;
const host = process.env.GLOAMER_HOST;
const work = process.env.GLOAMER_WORK;

// 16-bit PCM WAV of a tone that sweeps upwards, so the picture moves.
function wav(seconds, rate = 44100) {
  const frames = seconds * rate;
  const data = Buffer.alloc(frames * 4);
  for (let i = 0; i < frames; ++i) {
    const t = i / rate;
    const sample = Math.round(20000 * Math.sin(2 * Math.PI * (200 + 400 * t) * t));
    data.writeInt16LE(sample, i * 4);
    data.writeInt16LE(sample, i * 4 + 2);
  }
  const header = Buffer.alloc(44);
  header.write('RIFF', 0);
  header.writeUInt32LE(36 + data.length, 4);
  header.write('WAVEfmt ', 8);
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(1, 20);
  header.writeUInt16LE(2, 22);
  header.writeUInt32LE(rate, 24);
  header.writeUInt32LE(rate * 4, 28);
  header.writeUInt16LE(4, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36);
  header.writeUInt32LE(data.length, 40);
  return Buffer.concat([header, data]);
}

// RGB bytes of a PNG, through ffmpeg.
function pngPixels(file) {
  return execFileSync('ffmpeg', ['-v', 'error', '-i', file, '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'],
                      { maxBuffer: 64 << 20 });
}

// The frame tolerance of the GL comparisons: mean difference per channel, and the worst 16x16 block's.
function frameDifference(rgb, rgba, width, height) {
  const sums = [0, 0, 0];
  let worstBlock = 0;
  for (let by = 0; by < height; by += 16) {
    for (let bx = 0; bx < width; bx += 16) {
      const block = [0, 0, 0];
      let count = 0;
      for (let y = by; y < Math.min(by + 16, height); ++y) {
        for (let x = bx; x < Math.min(bx + 16, width); ++x, ++count) {
          for (let c = 0; c < 3; ++c) {
            const d = Math.abs(rgb[(y * width + x) * 3 + c] - rgba[(y * width + x) * 4 + c]);
            block[c] += d;
            sums[c] += d;
          }
        }
      }
      worstBlock = Math.max(worstBlock, ...block.map(s => s / count));
    }
  }
  return { mean: Math.max(...sums.map(s => s / (width * height))), worstBlock };
}

// Drops files from the test folder on the page, as a visitor would from a file manager.
function drop(page, ...names) {
  return page.evaluate(async files => {
    const transfer = new DataTransfer();
    for (const file of files)
      transfer.items.add(new File([await (await fetch(`/test/${file}`)).arrayBuffer()], file, { type: 'audio/wav' }));
    document.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
  }, names);
}

function statusIs(page, text) {
  return page.waitForFunction(t => document.getElementById('status').textContent === t, { timeout: 60000 }, text);
}

function nextFrame(page) {
  return page.evaluate(() => gloamerTestHooks.nextFrame());
}

// ffprobe's streams of a file and, per stream type, the time of its last packet.
function probe(file) {
  const run = args => JSON.parse(execFileSync('ffprobe', ['-v', 'error', '-of', 'json', ...args, file]).toString());
  const streams = run(['-show_streams']).streams;
  const packets = run(['-show_entries', 'packet=stream_index,pts_time']).packets;
  const lastTime = {};
  for (const stream of streams) {
    const times = packets.filter(p => p.stream_index === stream.index).map(p => Number(p.pts_time));
    lastTime[stream.codec_type] = Math.max(...times);
  }
  return { types: streams.map(s => s.codec_type).sort(), lastTime };
}

describe('the page in headless chromium', () => {
  let server, browser, page, origin;
  const problems = []; // console errors and uncaught exceptions, which no case may leave

  before(async () => {
    fs.rmSync(work, { recursive: true, force: true });
    fs.mkdirSync(path.join(work, 'native'), { recursive: true });
    fs.writeFileSync(path.join(work, 'sweep.wav'), wav(20));
    fs.writeFileSync(path.join(work, 'short.wav'), wav(1));
    fs.writeFileSync(path.join(work, 'notes.wav'), Buffer.from('RIFF this is no audio at all'));
    // What the native host feeds its frames and draws from them: 2 s of the demo at 30 fps, 590x430.
    const env = { ...process.env, SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy' };
    execFileSync(host, ['analyse', '--fps', '30', '--duration', '2', '-o', path.join(work, 'demo.gfd')], { env });
    execFileSync(host, ['replay', path.join(work, 'demo.gfd'), '-o', path.join(work, 'native', '%05d.png'),
                        '--size', '590x430'], { env });

    server = await serve(site, work);
    origin = `http://127.0.0.1:${server.address().port}`;
    browser = await launchChromium();
    console.log(`WebGL 2 on ${browser.rasterizer}`);
    page = await browser.newPage();
    page.on('console', message => { if (message.type() === 'error') problems.push(message.text()); });
    page.on('pageerror', error => problems.push(String(error)));
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: work });
    await page.goto(`${origin}/`);
    await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Ready'),
                               { timeout: 60000 });
  });

  after(async () => {
    await browser?.close();
    if (server?.listening)
      server.close();
  });

  it('loads with no console error and the program ready', async () => {
    assert.deepEqual(problems, []);
    assert.equal(await page.$eval('#error', e => e.textContent), '');
  });

  it('plays the demo, the picture changing from frame to frame; space pauses, f fills the screen, Esc stops', async () => {
    await page.click('#demo');
    await page.waitForFunction(() => document.getElementById('status').textContent === 'Playing the demo.');
    const first = await nextFrame(page);
    const second = await nextFrame(page);
    assert.ok(first.sum > 0 && second.sum > 0, 'the picture is not black');
    assert.notEqual(first.hash, second.hash, 'the picture moves');
    // The keys reach the plug-in's window through the message queue, and the host acts on them as natively.
    await page.keyboard.press('Space');
    await page.waitForFunction(() => document.getElementById('pause').textContent === 'Play');
    await page.keyboard.press('Space');
    await page.waitForFunction(() => document.getElementById('pause').textContent === 'Pause');
    // f fills the screen and back: the plug-in's window takes the canvas's new size through WM_SIZE.
    await page.keyboard.press('f');
    await page.waitForFunction(() => document.fullscreenElement && document.getElementById('canvas').width === innerWidth);
    await page.keyboard.press('f');
    await page.waitForFunction(() => !document.fullscreenElement && document.getElementById('canvas').width === innerWidth);
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => document.getElementById('status').textContent === 'Stopped.');
    assert.deepEqual(problems, []);
  });

  it('draws a frame data file as the native host does (frames 1, 10, 60, glow on)', async () => {
    const frames = await page.evaluate(() => gloamerTestHooks.replay('/test/demo.gfd', [0, 9, 59]));
    assert.equal(frames.length, 3);
    for (const frame of frames) {
      const native = pngPixels(path.join(work, 'native', `${String(frame.index + 1).padStart(5, '0')}.png`));
      assert.equal(native.length, frame.width * frame.height * 3, `frame ${frame.index + 1} is 590x430 in both`);
      const { mean, worstBlock } = frameDifference(native, Buffer.from(frame.rgba, 'base64'), frame.width, frame.height);
      console.log(`frame ${frame.index + 1}: mean difference ${mean.toFixed(3)}, worst 16x16 block ${worstBlock.toFixed(2)}`);
      assert.ok(mean <= 2, `frame ${frame.index + 1}: mean difference ${mean} over 2/255`);
      assert.ok(worstBlock <= 12, `frame ${frame.index + 1}: a 16x16 block differs by ${worstBlock} over 12/255`);
    }
  });

  it('plays a dropped WAV, and says so in one line when a dropped file is no audio', async () => {
    await drop(page, 'notes.wav');
    await page.waitForFunction(() => document.getElementById('error').textContent !== '');
    assert.match(await page.$eval('#error', e => e.textContent), /^Cannot play 'notes.wav': /);

    await drop(page, 'sweep.wav');
    await page.waitForFunction(() => document.getElementById('status').textContent === "Playing 'sweep.wav'.");
    assert.equal(await page.$eval('#error', e => e.textContent), '');
    const first = await nextFrame(page);
    assert.notEqual((await nextFrame(page)).hash, first.hash);
  });

  it('records the canvas and the music to a WebM with a video and an audio stream', async () => {
    // Long enough that a frame or two a second on a busy CPU-only GL still gives a video to the end.
    const seconds = 5;
    const file = path.join(work, 'gloamer.webm');
    await page.select('#size', '590x430'); // the size these times were measured at
    await page.click('#demo');
    await nextFrame(page);
    await page.click('#record');
    await new Promise(resolve => setTimeout(resolve, seconds * 1000));
    await page.click('#record');
    for (let waited = 0; !fs.existsSync(file) && waited < 20000; waited += 250)
      await new Promise(resolve => setTimeout(resolve, 250));
    assert.ok(fs.existsSync(file), 'the recording was downloaded');
    const { types, lastTime } = probe(file);
    console.log(`recording: ${JSON.stringify(lastTime)}`);
    assert.deepEqual(types, ['audio', 'video']);
    assert.ok(Math.abs(lastTime.audio - seconds) < 1, `the sound lasts about ${seconds} s, not ${lastTime.audio}`);
    // A canvas is captured when the GL has finished a frame: on a busy CPU-only GL, about once a second.
    assert.ok(lastTime.video > seconds - 2 && lastTime.video < seconds + 1,
              `the picture lasts about ${seconds} s, not ${lastTime.video}`);
    await page.select('#size', 'fill');
    assert.deepEqual(problems, []);
  });

  it('fills the window and draws at the new size when the window is resized', async () => {
    for (const [width, height] of [[720, 480], [800, 600]]) {
      await page.setViewport({ width, height });
      await page.waitForFunction((w, h) => canvas.width === w && canvas.height === h, {}, width, height);
      assert.ok((await nextFrame(page)).sum > 0, `a picture at ${width}x${height}`);
    }
  });

  it('plays a playlist of two dropped songs one after the other, and seeks in the second', async () => {
    await drop(page, 'short.wav', 'sweep.wav');
    await statusIs(page, "Playing 'short.wav'.");
    await statusIs(page, "Playing 'sweep.wav'.");
    await page.$eval('#seek', bar => { bar.value = '12'; bar.dispatchEvent(new Event('change')); });
    await page.waitForFunction(() => Number(document.getElementById('seek').value) >= 12 &&
                                     document.getElementById('time').textContent.startsWith('0:1'));
    assert.equal(await page.$eval('#error', e => e.textContent), '');
  });

  it('listens to the microphone: its samples reach the program and the picture moves', async () => {
    await page.click('#mic');
    await statusIs(page, 'Listening to the microphone.');
    await page.waitForFunction(() => page.module._gloamer_track_frames() > 4096);
    const first = await nextFrame(page);
    assert.notEqual((await nextFrame(page)).hash, first.hash);
    await page.keyboard.press('Escape');
    await statusIs(page, 'Stopped.');
    assert.deepEqual(problems, []);
  });

  it('starts from a file:// address and plays the demo', async () => {
    const local = await browser.newPage();
    await local.goto(`file://${path.resolve(site, 'index.html')}`);
    await statusIs(local, 'Ready: drop songs or a folder, open some, listen live, or play the demo.');
    await local.click('#demo');
    assert.ok((await nextFrame(local)).sum > 0);
    await local.close();
  });

  it('starts offline from what its service worker kept, the server stopped', async () => {
    await page.waitForFunction(async () => (await navigator.serviceWorker.ready) &&
                                           Boolean(await caches.match('gloamer.wasm')), { timeout: 60000 });
    server.closeAllConnections();
    await new Promise(resolve => server.close(resolve));
    await page.reload();
    await statusIs(page, 'Ready: drop songs or a folder, open some, listen live, or play the demo.');
    await page.click('#demo');
    assert.ok((await nextFrame(page)).sum > 0);
  });
});

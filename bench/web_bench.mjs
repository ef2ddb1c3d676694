// web_bench.mjs -- the page in headless chromium against the native build: start-up, then frame rate and CPU time
// per frame at the same sizes, on the same music, as ratios from this one run.
//
// Start-up: the page from a press of "Play the demo" to its first frame (the page loaded and ready), beside the
// native build from its launch to its first frame drawn (render_loop_bench drawing one frame, process start
// included).
// Speed: both sides draw the demo track's frames from the same frame data file (gloamer analyse): the page through
// its test hook, one frame per animation frame for SECONDS (what the page shows, the browser's compositing
// included), the native build back to back through the host's render loop (render_loop_bench, Mesa offscreen).
// Both are timed from the first frame after frame 0, so start-up counts on neither side. Page and native runs
// alternate, ROUNDS times a size, the side that goes first swapping each round, so that a machine busy with
// something else weighs on both. CPU time is the page's whole browser (every chromium process: renderer, GPU
// process, compositor) against the native process with its GL driver's threads.
// Usage: node bench/web_bench.mjs [SECONDS] [SIZE...]   (defaults: 20 s; 590x430 and 1280x720; ROUNDS=2)
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launchChromium, openPage, serve } from '../tests/web/page_server.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const build = process.env.BUILD || path.join(root, 'build/linux');
const site = process.env.GLOAMER_SITE || path.join(root, 'build/web/site');
const seconds = Number(process.argv[2] || 20);
const sizes = process.argv.length > 3 ? process.argv.slice(3) : ['590x430', '1280x720'];
const rounds = Number(process.env.ROUNDS || 2);
const clockTicks = Number(execFileSync('getconf', ['CLK_TCK']).toString());

// Clock ticks (user and system) used so far by each process of a tree, read from /proc.
function treeTicks(root) {
  const children = new Map();
  const ticks = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry))
      continue;
    let stat;
    try {
      stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
    } catch {
      continue; // ended meanwhile
    }
    const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
    const parent = Number(fields[1]);
    if (!children.has(parent))
      children.set(parent, []);
    children.get(parent).push(Number(entry));
    ticks.set(Number(entry), Number(fields[11]) + Number(fields[12]));
  }
  const tree = new Map();
  for (const pending = [root]; pending.length;) {
    const pid = pending.pop();
    tree.set(pid, ticks.get(pid) || 0);
    pending.push(...(children.get(pid) || []));
  }
  return tree;
}

// CPU seconds the tree used between two readings: each process's own, a process started meanwhile whole. A
// process that ended meanwhile loses its last moments (counted in `ended`), which can only favour the page.
let ended = 0;
function cpuBetween(before, after) {
  let total = 0;
  for (const [pid, now] of after)
    total += before.has(pid) && before.get(pid) <= now ? now - before.get(pid) : now;
  for (const pid of before.keys())
    ended += after.has(pid) ? 0 : 1;
  return total / clockTicks;
}

// The native side: milliseconds and CPU milliseconds a frame, after the first.
function native(width, height, frames, music) {
  const line = execFileSync(path.join(build, 'bench/render_loop_bench'),
                            [String(width), String(height), String(frames), '30', path.join(build, 'vis_gloamer.so'), music],
                            { env }).toString();
  const figures = /\(([\d.]+) ms a frame\), cpu ([\d.]+) ms a frame/.exec(line);
  return { ms: Number(figures[1]), cpuMs: Number(figures[2]) };
}

// The page's side: the hook draws for SECONDS; the browser's CPU is read once its timing has started and again
// at the end, with the frames drawn at each reading.
async function pageRun(page, width, height, size, cpu) {
  await page.evaluate((w, h, n) => { window.benchRun = gloamerTestHooks.speed('/test/demo.gfd', n, w, h); },
                      width, height, seconds);
  await page.waitForFunction(() => gloamerTestHooks.speedProgress().started, { polling: 'raf', timeout: 60000 });
  const cpuBefore = cpu();
  const framesBefore = await page.evaluate(() => gloamerTestHooks.speedProgress().frames);
  const web = await page.evaluate(() => window.benchRun);
  const cpuAfter = cpu();
  if (web.size !== size)
    throw new Error(`the page drew at ${web.size}, not ${size}`);
  return { ms: 1000 / web.framesPerSecond, cpuMs: 1000 * cpuBetween(cpuBefore, cpuAfter) / (web.frames - framesBefore) };
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'gloamer-web-bench-'));
const env = { ...process.env, SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy' };
execFileSync(path.join(build, 'gloamer'), ['analyse', '--fps', '30', '--duration', '10', '-o', path.join(work, 'demo.gfd')], { env });

const server = await serve(site, work);
const browser = await launchChromium();
try {
  const loading = performance.now();
  const page = await openPage(browser, `http://127.0.0.1:${server.address().port}`);
  const readyMs = performance.now() - loading;
  const cpu = os.cpus()[0].model;
  console.log(`machine: ${os.cpus().length} cores, ${cpu}; page: ${await browser.version()} (WebGL 2 on ${browser.rasterizer}); native: Mesa offscreen`);
  await page.click('#demo');
  await page.waitForFunction(() => gloamerTestHooks.startUp() > 0, { timeout: 60000 });
  const pageStartMs = await page.evaluate(() => gloamerTestHooks.startUp());
  await page.keyboard.press('Escape');
  const launched = performance.now();
  execFileSync(path.join(build, 'bench/render_loop_bench'), ['590', '430', '1', '30', path.join(build, 'vis_gloamer.so')], { env });
  const nativeStartMs = performance.now() - launched;
  console.log(`start-up: page ready ${readyMs.toFixed(0)} ms after loading, first frame ${pageStartMs.toFixed(0)} ms ` +
              `after pressing play; native first frame ${nativeStartMs.toFixed(0)} ms after launch`);
  const music = path.join(work, 'demo.gfd');
  const pageCpu = () => treeTicks(browser.process().pid);
  for (const size of sizes) {
    const [width, height] = size.split('x').map(Number);
    // A short native run first: its frame rate sets how many frames a native run of SECONDS takes.
    let nativeFrames = Math.max(10, Math.round(seconds * 1000 / native(width, height, 10, music).ms));
    for (let round = 1; round <= rounds; ++round) {
      const runs = {};
      for (const side of round % 2 ? ['page', 'native'] : ['native', 'page']) {
        if (side === 'page')
          runs.page = await pageRun(page, width, height, size, pageCpu);
        else
          runs.native = native(width, height, nativeFrames, music);
      }
      nativeFrames = Math.max(10, Math.round(seconds * 1000 / runs.native.ms));
      const { page: p, native: n } = runs;
      console.log(`${size} round ${round}: page ${(1000 / p.ms).toFixed(1)} frames/s, cpu ${p.cpuMs.toFixed(1)} ms a frame; ` +
                  `native ${(1000 / n.ms).toFixed(1)} frames/s, cpu ${n.cpuMs.toFixed(1)} ms a frame; ` +
                  `page / native: frame rate ${(n.ms / p.ms).toFixed(3)}, cpu per frame ${(p.cpuMs / n.cpuMs).toFixed(3)}`);
    }
  }
  if (ended)
    console.log(`(${ended} browser processes ended during the page's runs: their last moments are not counted)`);
} finally {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
}

// web_bench.mjs -- the page in headless chromium against the native build: start-up, and frames a second at the
// same sizes.
//
// Start-up: the page from a press of "Play the demo" to its first frame (the page loaded and ready), beside the
// native build from its launch to its first frame drawn (render_loop_bench drawing one frame, process start
// included).
// Both draw the demo track's frames: the page from a frame data file through its test hook, one frame per
// animation frame for SECONDS (what the page shows, the browser's compositing included), the native build as many
// frames back to back through the host's render loop (render_loop_bench, Mesa offscreen). Prints both and
// page / native.
// Usage: node bench/web_bench.mjs [SECONDS] [SIZE...]   (defaults: 20 s; 590x430 and 1280x720)
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
  for (const size of sizes) {
    const [width, height] = size.split('x').map(Number);
    const web = await page.evaluate((w, h, n) => gloamerTestHooks.speed('/test/demo.gfd', n, w, h), width, height, seconds);
    if (web.size !== size)
      throw new Error(`the page drew at ${web.size}, not ${size}`);
    const line = execFileSync(path.join(build, 'bench/render_loop_bench'),
                              [String(width), String(height), String(Math.max(10, Math.round(web.framesPerSecond * seconds))), '30', path.join(build, 'vis_gloamer.so')],
                              { env }).toString();
    const nativeMs = Number(/\(([\d.]+) ms a frame\)/.exec(line)[1]);
    const nativeFps = 1000 / nativeMs;
    console.log(`${size}: page ${web.framesPerSecond.toFixed(1)} frames/s (${(1000 / web.framesPerSecond).toFixed(2)} ms), ` +
                `native ${nativeFps.toFixed(1)} frames/s (${nativeMs.toFixed(2)} ms); page / native = ${(web.framesPerSecond / nativeFps).toFixed(3)}`);
  }
} finally {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
}

// web-screenshot.mjs -- the README's picture of the page: the built site in headless chromium, filling a small
// window a few seconds into the demo, stored with a palette so that the PNG stays small.
// Usage: node scripts/web-screenshot.mjs [OUT.png]   (after scripts/web.sh or cmake --build --preset web;
// npm ci --prefix tests/web first; ffmpeg makes the palette)
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launchChromium, openPage, serve } from '../tests/web/page_server.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const out = path.resolve(process.argv[2] || path.join(root, 'docs/gloamer-web.png'));
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'gloamer-web-shot.'));
const shot = path.join(work, 'page.png');
const server = await serve(path.join(root, 'build/web/site'), root);
const browser = await launchChromium();
try {
  const page = await openPage(browser, `http://127.0.0.1:${server.address().port}`);
  await page.setViewport({ width: 1000, height: 560 });
  await page.click('#demo');
  // Past the first seconds, so that the trail has built up.
  await new Promise(resolve => setTimeout(resolve, 8000));
  await page.screenshot({ path: shot });
  // 128 colours in an ordered dither: the glow's gradients keep their look, and the file stays near 200 KB.
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-i', shot, '-filter_complex',
                          'split[a][b];[a]palettegen=max_colors=128[p];[b][p]paletteuse=dither=bayer:bayer_scale=3',
                          '-compression_level', '9', out]);  // absolute, so never read as an option
  console.log(`wrote ${out} (${fs.statSync(out).size} bytes; drawn with ${browser.rasterizer})`);
} finally {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
}

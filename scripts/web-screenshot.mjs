// web-screenshot.mjs -- the README's picture of the page: the built site in headless chromium, a few seconds into
// the demo. Usage: node scripts/web-screenshot.mjs [OUT.png]   (after scripts/web.sh or cmake --build --preset web;
// npm ci --prefix tests/web first)
import path from 'node:path';
import { launchChromium, openPage, serve } from '../tests/web/page_server.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const out = process.argv[2] || path.join(root, 'docs/gloamer-web.png');
const server = await serve(path.join(root, 'build/web/site'), root);
const browser = await launchChromium();
try {
  const page = await openPage(browser, `http://127.0.0.1:${server.address().port}`);
  await page.setViewport({ width: 680, height: 660 });
  await page.click('#demo');
  await new Promise(resolve => setTimeout(resolve, 6000));
  await page.screenshot({ path: out });
  console.log(`wrote ${out}`);
} finally {
  await browser.close();
  server.close();
}

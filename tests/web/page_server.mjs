// page_server.mjs -- serves the page's site (and a folder of test files at /test/) and starts headless chromium on it.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.bmp': 'image/bmp' };

// The site at /, `extra` at /test/; resolves to the server, listening on a free port of 127.0.0.1.
export function serve(site, extra) {
  const server = http.createServer((request, response) => {
    const url = path.normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const file = url.startsWith('/test/') ? path.join(extra, url.slice(6)) : path.join(site, url === '/' ? 'index.html' : url);
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404).end();
        return;
      }
      response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' }).end(data);
    });
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// Headless chromium with WebGL 2 on the CPU (SwiftShader), and sound allowed without a click.
export function launchChromium(executablePath = process.env.CHROMIUM || '/usr/bin/chromium') {
  return puppeteer.launch({
    executablePath,
    headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--autoplay-policy=no-user-gesture-required', '--window-size=1400,1000'],
  });
}

// Opens the page and waits until its program is loaded and ready to play.
export async function openPage(browser, origin) {
  const page = await browser.newPage();
  await page.goto(`${origin}/`);
  await page.waitForFunction(() => /^Ready/.test(document.getElementById('status').textContent) ||
                                    document.getElementById('error').textContent !== '', { timeout: 60000 });
  return page;
}

// page_server.mjs -- serves the page's site (and a folder of test files at /test/) and starts headless chromium on it.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.bmp': 'image/bmp',
                '.png': 'image/png', '.webmanifest': 'application/manifest+json' };

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

// WebGL 2 on ANGLE over the system's GL (Mesa's llvmpipe, the rasterizer the native build draws with), else on
// SwiftShader.
const rasterizers = [
  { name: 'ANGLE over GL/EGL', args: ['--ozone-platform=headless', '--use-gl=angle', '--use-angle=gl-egl',
                                      '--ignore-gpu-blocklist'] },
  { name: 'SwiftShader', args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader'] },
];

// What draws WebGL 2 in the browser: the unmasked renderer's name, or null when it offers no WebGL 2.
async function webglRenderer(browser) {
  const page = await browser.newPage();
  try {
    return await page.evaluate(() => {
      const gl = document.createElement('canvas').getContext('webgl2');
      const info = gl && gl.getExtension('WEBGL_debug_renderer_info');
      return gl ? String(info ? gl.getParameter(info.UNMASKED_RENDERER_WEBGL) : gl.getParameter(gl.RENDERER)) : null;
    });
  } finally {
    await page.close();
  }
}

// Headless chromium with WebGL 2 on the first rasterizer that gives it, sound allowed without a click, a fake
// microphone that the page may use unasked. browser.rasterizer says which was used and what it drew with.
export async function launchChromium(executablePath = process.env.CHROMIUM || '/usr/bin/chromium') {
  for (const rasterizer of rasterizers) {
    const browser = await puppeteer.launch({
      executablePath,
      headless: true,
      args: ['--no-sandbox', '--headless=new', ...rasterizer.args, '--autoplay-policy=no-user-gesture-required',
             '--use-fake-device-for-media-stream', '--use-fake-ui-for-media-stream', '--window-size=1400,1000'],
    });
    const renderer = await webglRenderer(browser).catch(() => null);
    if (renderer && (rasterizer.name === 'SwiftShader' || !/swiftshader/i.test(renderer))) {
      browser.rasterizer = `${rasterizer.name} (${renderer})`;
      return browser;
    }
    await browser.close();
  }
  throw new Error('headless chromium offers no WebGL 2 on any rasterizer');
}

// Opens the page and waits until its program is loaded and ready to play.
export async function openPage(browser, origin) {
  const page = await browser.newPage();
  await page.goto(`${origin}/`);
  await page.waitForFunction(() => /^Ready/.test(document.getElementById('status').textContent) ||
                                    document.getElementById('error').textContent !== '', { timeout: 60000 });
  return page;
}

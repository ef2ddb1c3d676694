// offline.js -- the page's start-up: the program and the logo fetched (or, opened from a file, taken from the script
// that embeds them), the logo made into the bitmap the plug-in reads, and the service worker that keeps the site for
// use offline.
'use strict';

function fromBase64(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i)
    bytes[i] = binary.charCodeAt(i);
  return bytes;
}

// A 24-bit bottom-up bitmap of a picture, as the plug-in reads its logo.
async function bitmapOf(blob) {
  const picture = await createImageBitmap(blob, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
  const { width, height } = picture;
  const canvas = new OffscreenCanvas(width, height);
  const context = canvas.getContext('2d');
  context.drawImage(picture, 0, 0);
  const rgba = context.getImageData(0, 0, width, height).data;
  const stride = (width * 3 + 3) & ~3;
  const bytes = new Uint8Array(54 + stride * height);
  const header = new DataView(bytes.buffer);
  bytes.set([0x42, 0x4d]);
  header.setUint32(2, bytes.length, true);
  header.setUint32(10, 54, true);
  header.setUint32(14, 40, true);
  header.setInt32(18, width, true);
  header.setInt32(22, height, true);
  header.setUint16(26, 1, true);
  header.setUint16(28, 24, true);
  header.setUint32(34, stride * height, true);
  header.setInt32(38, 2835, true); // 72 dots an inch
  header.setInt32(42, 2835, true);
  for (let y = 0; y < height; ++y) {
    const row = 54 + (height - 1 - y) * stride;
    for (let x = 0; x < width; ++x) {
      const from = (y * width + x) * 4;
      bytes[row + x * 3] = rgba[from + 2];
      bytes[row + x * 3 + 1] = rgba[from + 1];
      bytes[row + x * 3 + 2] = rgba[from];
    }
  }
  return bytes;
}

function loadScript(src) {
  return new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = src;
    script.onload = resolve;
    script.onerror = () => reject(new Error(`${src} is missing beside the page`));
    document.head.append(script);
  });
}

// The program and the logo's picture. A page opened from a file may fetch nothing, so it takes both from the script
// the build embeds them in.
async function loadProgram() {
  const settings = { canvas: elements.canvas };
  let logo;
  if (location.protocol === 'file:') {
    try {
      await loadScript('gloamer-embedded.js');
    } catch (error) {
      throw new Error(`${error.message}; opened from a file, the page needs it, or serve the folder over http ` +
                      '(for example python3 -m http.server) and open that address');
    }
    settings.wasmBinary = fromBase64(window.gloamerEmbedded.wasm);
    logo = new Blob([fromBase64(window.gloamerEmbedded.logo)], { type: 'image/png' });
  } else {
    const response = await fetch('vis_gloamer.png');
    if (!response.ok)
      throw new Error(`the logo vis_gloamer.png is missing beside the page (${response.status})`);
    logo = await response.blob();
  }
  const [module, bitmap] = await Promise.all([createGloamer(settings), bitmapOf(logo)]);
  module.FS.mkdirTree('/gloamer');
  module.FS.writeFile(logoPath, bitmap);
  return module;
}

// Offline after the first visit: the worker keeps the site's files and answers with them when the network cannot.
function keepForOffline() {
  if (!('serviceWorker' in navigator) || !/^https?:$/.test(location.protocol))
    return;
  navigator.serviceWorker.register('sw.js').catch(error => {
    console.warn(`Gloamer will not work offline: ${error.message}`);
  });
}

async function boot() {
  if (!document.createElement('canvas').getContext('webgl2')) {
    fail('This browser has no WebGL 2, which Gloamer draws with: try a current Chrome, Firefox or Safari.');
    return;
  }
  keepForOffline();
  try {
    page.module = await loadProgram();
  } catch (error) {
    fail(`Gloamer could not start: ${error.message || error}`);
    return;
  }
  ready();
}

// sw.js -- keeps the site's files so that the page also starts offline: each answer from the network refreshes the
// kept copy, and when the network cannot answer the kept copy does.
'use strict';

const store = 'gloamer-site';
const siteFiles = ['./', 'index.html', 'page.js', 'controls.js', 'playlist.js', 'live.js', 'offline.js', 'gloamer.js',
                   'gloamer.wasm', 'vis_gloamer.png', 'manifest.webmanifest', 'icon-192.png', 'icon-512.png'];

self.addEventListener('install', event => {
  event.waitUntil(caches.open(store).then(cache => cache.addAll(siteFiles)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', event => {
  event.waitUntil(self.clients.claim());
});

function isSiteFile(url) {
  const scope = new URL(self.registration.scope);
  return url.origin === scope.origin && siteFiles.some(name => new URL(name, scope).pathname === url.pathname);
}

self.addEventListener('fetch', event => {
  const url = new URL(event.request.url);
  if (event.request.method !== 'GET' || !isSiteFile(url))
    return;
  event.respondWith((async () => {
    const cache = await caches.open(store);
    try {
      const response = await fetch(event.request);
      if (response.ok)
        event.waitUntil(cache.put(event.request, response.clone()));
      return response;
    } catch (error) {
      const kept = await cache.match(event.request, { ignoreSearch: true });
      if (kept)
        return kept;
      throw error;
    }
  })());
});

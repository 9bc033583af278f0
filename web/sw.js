// Keeps the page and its calculation for use offline. The build writes a hash
// of the page and kandu.wasm into the cache name: a new build is a new service
// worker, which caches the new files and drops the old ones.
'use strict';
const CACHE = 'kandu-@BUILD@';
const FILES = ['./', 'kandu.wasm'];

self.addEventListener('install', (e) => {
    e.waitUntil(caches.open(CACHE).then((c) => c.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (e) => {
    e.waitUntil(
        caches.keys()
            .then((keys) => Promise.all(keys.filter((k) => k !== CACHE).map((k) => caches.delete(k))))
            .then(() => self.clients.claim()));
});

// The page is kept once, as './', which it also is under its own name.
self.addEventListener('fetch', (e) => {
    if (e.request.method !== 'GET') return;
    const url = new URL(e.request.url);
    const page = url.origin === location.origin && url.pathname === new URL('index.html', location).pathname;
    const key = page ? './' : e.request;
    e.respondWith(caches.match(key, {cacheName: CACHE}).then((hit) => hit || fetch(e.request)));
});

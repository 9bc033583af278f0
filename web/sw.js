// Keeps the page and its calculation for use offline. The build writes a hash
// of the page and its wasm into the cache name: a new build is a new service
// worker, which keeps the new files and then drops the older builds' caches.
'use strict';
// Caches of this page's older builds begin the same; those of other pages of
// the site do not, and are left alone.
const OWN = 'kandu ' + self.registration.scope + ' ';
const CACHE = OWN + '@BUILD@';
const PAGE = './';
const WASM = '@WASM@';
const pagePaths = [PAGE, 'index.html'].map((p) => new URL(p, self.registration.scope).pathname);

// 'no-cache': a host may let the browser keep a file for minutes, so the
// browser must ask the host before it answers from its HTTP cache (an
// unchanged file costs a short "not modified").
async function keep() {
    const cache = await caches.open(CACHE);
    const page = await fetch(PAGE, {cache: 'no-cache'});
    // A host halfway through an upload may still serve another build's page:
    // this build then waits for a later visit rather than keep a mix.
    if (!page.ok || !(await page.clone().text()).includes(WASM)) {
        throw new Error('the host serves a page of another build');
    }
    await cache.add(new Request(WASM, {cache: 'no-cache'}));
    await cache.put(PAGE, page);
}

self.addEventListener('install', (e) => {
    e.waitUntil(keep().then(() => self.skipWaiting(),
        (error) => caches.delete(CACHE).then(() => { throw error; })));
});

self.addEventListener('activate', (e) => {
    e.waitUntil(caches.keys()
        .then((keys) => Promise.all(
            keys.filter((k) => k.startsWith(OWN) && k !== CACHE).map((k) => caches.delete(k))))
        .then(() => self.clients.claim()));
});

async function answer(request) {
    const cache = await caches.open(CACHE);
    if (request.mode === 'navigate') {
        // The page under any of its names, with any query string, is the kept
        // page; other navigations go to the host, and offline to the page too.
        if (pagePaths.includes(new URL(request.url).pathname)) {
            return (await cache.match(PAGE)) || fetch(request);
        }
        try {
            return await fetch(request);
        } catch (error) {
            const kept = await cache.match(PAGE);
            if (kept) return kept;
            throw error;
        }
    }
    return (await cache.match(request)) || fetch(request);
}

self.addEventListener('fetch', (e) => {
    if (e.request.method === 'GET') e.respondWith(answer(e.request));
});

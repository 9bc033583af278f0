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
// The page's own addresses and what each is kept as. Everything else, other
// pages of the site included, is left to the browser: online or offline, it
// goes as if there were no service worker.
const own = new Map([[PAGE, PAGE], ['index.html', PAGE], [WASM, WASM]]
    .map(([path, kept]) => [new URL(path, self.registration.scope).href, kept]));

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

// The kept file, else the host's.
async function answer(request, kept) {
    return (await (await caches.open(CACHE)).match(kept)) || fetch(request);
}

self.addEventListener('fetch', (e) => {
    // The page under any of its names, with any query string (a home-screen
    // link's ?from=...), is the kept page.
    const url = new URL(e.request.url);
    const kept = own.get(url.origin + url.pathname);
    if (e.request.method === 'GET' && kept) e.respondWith(answer(e.request, kept));
});

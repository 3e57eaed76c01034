// The page's calls to its server: the documented API and its event stream, nothing else.

const CALL_TIMEOUT_MS = 15000;

// One call; {status, data}. A call that gets no answer in time, or none at all, has status 0
// and data {error}.
export async function call(method, path, body, timeoutMs = CALL_TIMEOUT_MS) {
  const options = { method, headers: {}, credentials: 'same-origin', cache: 'no-store' };
  if (body !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = JSON.stringify(body);
  }
  const abort = new AbortController();
  options.signal = abort.signal;
  const timer = setTimeout(() => abort.abort(), timeoutMs);
  try {
    const response = await fetch(path, options);
    const type = response.headers.get('Content-Type') || '';
    const data = type.startsWith('application/json') ? await response.json() : await response.text();
    return { status: response.status, data };
  } catch (e) {
    return { status: 0, data: { error: 'no answer from brevindor-web' } };
  } finally {
    clearTimeout(timer);
  }
}

// The event stream: each named event's JSON to its handler, and onError() when the stream breaks
// (the browser tries it again by itself, unless the server refused it: then it is closed).
export function listen(handlers, onError) {
  const events = new EventSource('/api/events');
  for (const [name, handler] of Object.entries(handlers)) {
    events.addEventListener(name, (e) => handler(JSON.parse(e.data)));
  }
  events.addEventListener('error', onError);
  return events;
}

const WATCH_EVERY_MS = 2000;
const WATCH_TIMEOUT_MS = 1500;

// Asks /api/job every 2 s, and at once when poke() is called: onAnswer('up', job) when it
// answers, 'new-run' on 401 (a server that no longer knows this page's token: started again),
// 'down' when nothing answers within 1.5 s. So a stopped server is seen within 3.5 s.
export function watchServer(onAnswer) {
  let timer = null;
  let asking = false;
  async function ask() {
    clearTimeout(timer);
    if (asking) return;
    asking = true;
    const { status, data } = await call('GET', '/api/job', undefined, WATCH_TIMEOUT_MS);
    asking = false;
    onAnswer(status === 0 ? 'down' : status === 401 ? 'new-run' : 'up', status === 200 ? data : null);
    timer = setTimeout(ask, WATCH_EVERY_MS);
  }
  ask();
  return { poke: ask };
}

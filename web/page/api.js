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

// The event stream: each named event's JSON to its handler.
export function listen(handlers) {
  const events = new EventSource('/api/events');
  for (const [name, handler] of Object.entries(handlers)) {
    events.addEventListener(name, (e) => handler(JSON.parse(e.data)));
  }
  return events;
}

// What the page knows, apart from how it is drawn: the controllers as the server last told them,
// the edits typed, the refusals that stand, the states of an apply and the job; the order of the
// table; and the address rule, as the server reads addresses, for numbering rows. No DOM here.

// The table's columns in order: the scan's fields, the apply's result, and beside the addresses
// the reasons a row is refused or its conflict. The optional ones are shown when chosen.
export const COLUMNS = [
  ['mac', 'MAC'], ['state', 'Result'], ['watch', 'Watch'], ['ip', 'IP'], ['gateway', 'Gateway'], ['mask', 'Mask'],
  ['node_name', 'Node name'], ['notes', 'Refused because, or conflict'], ['version', 'Version'],
  ['node_id', 'Node id'], ['node_id_type', 'Id type'], ['sender', 'Sender'], ['local', 'Local'],
  ['answers', 'Answers'],
];
export const OPTIONAL = ['version', 'node_id', 'node_id_type', 'sender', 'local', 'answers'];
export const EDITABLE = ['ip', 'gateway', 'mask'];
const ADDRESS_KEYS = ['ip', 'gateway', 'mask', 'version', 'sender', 'local'];

export const model = {
  rows: new Map(),       // mac -> the controller as the scan JSON has it, in the order first heard
  edits: new Map(),      // mac -> {ip?, gateway?, mask?}: what was typed that differs from it
  refusals: new Map(),   // mac -> the reasons it can't go out, in the server's words
  states: new Map(),     // mac -> its state in the last apply
  selected: new Set(),   // macs
  job: { running: false, kind: null, status: null, message: null, undo_file: null },
  sortKey: null,
  sortUp: true,
  filter: '',
  shown: new Set(),      // the optional columns chosen
  server: 'up',          // 'up', 'down' (no answer) or 'new-run' (it no longer knows this page)
  outcomes: {},          // the last apply's count of each state
  watch: {
    marks: new Map(),    // mac -> {event, time, seq}: the latest watch event that marks its row
    seq: 0,              // events taken, for "since"
    identifying: false,  // Identify was pressed, and its list is open
    identified: [],      // [{mac, event, time}] since Identify was pressed, newest first
  },
};

// The watch events that mark a row, and those that Identify lists.
const MARKS = ['appeared', 'gone', 'back', 'changed'];
const IDENTIFIES = ['appeared', 'back'];

// A watch event from the server; true when it changed its row's mark.
export function takeWatchEvent(e) {
  const w = model.watch;
  ++w.seq;
  if (w.identifying && IDENTIFIES.includes(e.event)) {
    w.identified = w.identified.filter((i) => i.mac !== e.mac);
    w.identified.unshift({ mac: e.mac, event: e.event, time: e.time });
  }
  if (!MARKS.includes(e.event)) return false;
  w.marks.set(e.mac, { event: e.event, time: e.time, seq: w.seq });
  return true;
}

export function startIdentify() {
  model.watch.identifying = true;
  model.watch.identified = [];
}

// The MACs marked appeared after mac was marked gone, newest first.
export function appearedSince(mac) {
  const gone = model.watch.marks.get(mac);
  const list = [];
  for (const [other, m] of model.watch.marks) {
    if (m.event === 'appeared' && (!gone || m.seq > gone.seq)) list.push([m.seq, other]);
  }
  return list.sort((a, b) => b[0] - a[0]).map((x) => x[1]);
}

// A watch event's time (UTC from the server) as this computer's time of day.
export function timeOfDay(time) {
  const d = new Date(time);
  return isNaN(d) ? String(time ?? '') : d.toLocaleTimeString();
}

// The mark of a row: 'gone 14:03:07', or ''.
export function markText(mac) {
  const m = model.watch.marks.get(mac);
  return m ? m.event + ' ' + timeOfDay(m.time) : '';
}

export function watching() {
  return model.job.running && model.job.kind === 'watch';
}

// Controls as '?', as the other programs show device text.
export function safeText(text) {
  return String(text ?? '').replace(/[\u0000-\u001f\u007f-\u009f]/g, '?');
}

// The server's rule: four decimal numbers 0 to 255 without leading zeros. The address as a
// number, or null.
export function parseIpv4(text) {
  const m = /^(0|[1-9][0-9]{0,2})\.(0|[1-9][0-9]{0,2})\.(0|[1-9][0-9]{0,2})\.(0|[1-9][0-9]{0,2})$/.exec(text);
  if (!m) return null;
  const parts = m.slice(1).map(Number);
  if (parts.some((p) => p > 255)) return null;
  return ((parts[0] * 256 + parts[1]) * 256 + parts[2]) * 256 + parts[3];
}

export function ipv4Text(n) {
  return [Math.floor(n / 16777216) % 256, Math.floor(n / 65536) % 256, Math.floor(n / 256) % 256, n % 256].join('.');
}

// Ones from the top, then zeros only; not 0.0.0.0.
function prefixLength(mask) {
  for (let bits = 1; bits <= 32; ++bits) {
    if (mask === 4294967296 - 2 ** (32 - bits)) return bits;
  }
  return -1;
}

// The addresses for count rows from first, one after another within first's subnet: {ips} and,
// when a row's number would be the subnet's broadcast address or past its end, {stop: {index, ip,
// why}}, the rows from index on getting nothing. null when first or mask is no address or the
// mask no prefix.
export function numbering(firstText, maskText, count) {
  const first = parseIpv4(firstText);
  const mask = parseIpv4(maskText);
  const bits = mask === null ? -1 : prefixLength(mask);
  if (first === null || bits < 0) return null;
  const size = 2 ** (32 - bits);
  const network = first - (first % size);
  const last = network + size - 1;
  const hasEnds = bits <= 30;   // /31 and /32 have no network and broadcast addresses of their own
  const subnet = ipv4Text(network) + '/' + bits;
  const ips = [];
  for (let k = 0; k < count; ++k) {
    const ip = first + k;
    if (ip > last || (hasEnds && ip === last)) {
      const why = ip === last ? 'would be the broadcast address of ' + subnet : 'would be past the end of ' + subnet;
      return { ips, stop: { index: k, ip: ip > 4294967295 ? null : ipv4Text(ip), why } };
    }
    ips.push(ipv4Text(ip));
  }
  return { ips, stop: null };
}

// A field's value now: what was typed, else what the controller reports.
export function current(mac, key) {
  const edit = model.edits.get(mac);
  return edit && edit[key] !== undefined ? edit[key] : String(model.rows.get(mac)?.[key] ?? '');
}

// Takes a controller from the server; true when it is new. An edit that the controller now
// reports is done.
export function takeRow(data) {
  const isNew = !model.rows.has(data.mac);
  model.rows.set(data.mac, data);
  const edit = model.edits.get(data.mac);
  if (edit) {
    for (const key of EDITABLE) if (edit[key] === String(data[key] ?? '')) delete edit[key];
    if (!Object.keys(edit).length) model.edits.delete(data.mac);
  }
  return isNew;
}

export function clearRows() {
  model.rows.clear();
  model.states.clear();
  model.watch.marks.clear();
  model.selected.clear();
}

// Records what was typed into a field; true when it differs from what the controller reports.
export function setEdit(mac, key, value) {
  const data = model.rows.get(mac);
  if (!data) return false;
  const edit = model.edits.get(mac) || {};
  if (value === String(data[key] ?? '')) {
    delete edit[key];
  } else {
    edit[key] = value;
  }
  if (Object.keys(edit).length) model.edits.set(mac, edit); else model.edits.delete(mac);
  return edit[key] !== undefined;
}

export function dropEdits(mac) {
  model.edits.delete(mac);
}

export function pendingRows() {
  const list = [];
  for (const [mac, edit] of model.edits) list.push(Object.assign({ mac }, edit));
  return list;
}

export function setRefusals(list) {
  model.refusals.clear();
  for (const r of list) {
    const before = model.refusals.get(r.mac);
    model.refusals.set(r.mac, before ? before + '; ' + r.reason : r.reason);
  }
}

export function matchesFilter(mac) {
  const f = model.filter.trim().toLowerCase();
  if (!f) return true;
  const d = model.rows.get(mac);
  return [d.mac, d.ip, safeText(d.node_name)].some((v) => String(v ?? '').toLowerCase().includes(f));
}

function sortValue(mac, key) {
  if (key === 'state') return model.states.get(mac) || '';
  if (key === 'watch') return model.watch.marks.get(mac)?.event || '';
  if (key === 'notes') return (model.refusals.get(mac) || '') + '\u0000' + (model.rows.get(mac).conflict || '');
  const v = model.rows.get(mac)[key];
  if (key === 'answers') return +v;
  if (ADDRESS_KEYS.includes(key)) {
    if (key === 'version') {   // four numbers, compared as such
      const n = /^(\d+)\.(\d+)\.(\d+)\.(\d+)$/.exec(v || '');
      return n ? ((+n[1] * 256 + +n[2]) * 256 + +n[3]) * 256 + +n[4] : -1;
    }
    const n = parseIpv4(String(v ?? ''));
    return n === null ? -1 : n;
  }
  return String(v ?? '').toLowerCase();
}

export function sortBy(key) {
  model.sortUp = model.sortKey === key ? !model.sortUp : true;
  model.sortKey = key;
}

// Every MAC in the table's order: arrival, or the sort.
export function tableOrder() {
  const list = Array.from(model.rows.keys());
  if (model.sortKey !== null) {
    const sign = model.sortUp ? 1 : -1;
    const values = new Map(list.map((mac) => [mac, sortValue(mac, model.sortKey)]));
    list.sort((a, b) => {
      const x = values.get(a);
      const y = values.get(b);
      return x < y ? -sign : x > y ? sign : 0;
    });
  }
  return list;
}

// The rows that the filter shows, in table order.
export function shownInOrder() {
  return tableOrder().filter(matchesFilter);
}

// The selected rows that the filter shows, in table order.
export function selectedInOrder() {
  return shownInOrder().filter((mac) => model.selected.has(mac));
}

// Lines pasted into a field of a row, as a spreadsheet takes them: one line a row from that row
// down the rows shown, cells split by tabs going on into the next editable columns. {cells:
// [{mac, key, value}], rows, unused} (rows filled, lines left without a row).
export function pasteTargets(mac, key, lines) {
  const order = shownInOrder();
  const from = order.indexOf(mac);
  const column = EDITABLE.indexOf(key);
  const cells = [];
  let rows = 0;
  if (from < 0 || column < 0) return { cells, rows, unused: lines.length };
  for (; rows < lines.length && from + rows < order.length; ++rows) {
    const parts = lines[rows].split('\t');
    for (let c = 0; c < parts.length && column + c < EDITABLE.length; ++c) {
      cells.push({ mac: order[from + rows], key: EDITABLE[column + c], value: parts[c].trim() });
    }
  }
  return { cells, rows, unused: lines.length - rows };
}

// The words of the summary line.
export function counts() {
  let conflicts = 0;
  for (const data of model.rows.values()) if (data.conflict) ++conflicts;
  return { controllers: model.rows.size, edited: model.edits.size, refused: model.refusals.size, conflicts };
}

// An apply's outcome for each row; an edit that went out as typed is done. The count of each state.
export function takeOutcomes(list) {
  const counts = {};
  for (const o of list) {
    model.states.set(o.mac, o.state);
    counts[o.state] = (counts[o.state] || 0) + 1;
    if (o.state === 'verified' || o.state === 'unchanged') model.edits.delete(o.mac);
  }
  model.outcomes = counts;
}

// A job as the status line tells it: the server's words for how it ended (its result), and why.
export function jobText(job) {
  if (job.running) return { scan: 'scanning…', watch: 'watching…' }[job.kind] || 'applying…';
  if (!job.kind) return '';
  return job.kind + ': ' + (job.result || 'status ' + job.status) + (job.message ? ' (' + job.message + ')' : '');
}

function counted(n, one, many) {
  return n + ' ' + (n === 1 ? one : many);
}

// N controllers, N edited, N refused, N conflicts, and the last apply's states.
export function summaryText() {
  const c = counts();
  let text = counted(c.controllers, 'controller', 'controllers') + ', ' + c.edited + ' edited, ' + c.refused +
    ' refused, ' + counted(c.conflicts, 'conflict', 'conflicts');
  const states = Object.entries(model.outcomes);
  if (states.length) text += '; last apply: ' + states.map(([s, n]) => n + ' ' + s).join(', ');
  return text;
}

// What the page says while its server does not answer, or no longer knows it.
export function serverText(server) {
  if (server === 'down') {
    return 'brevindor-web does not answer: it was stopped, or this computer is busy. Scan, Apply, Dry run,' +
      ' Undo and Import wait until it answers again; the edits here are kept.';
  }
  if (server === 'new-run') {
    return 'brevindor-web was started again and no longer knows this page: open the new address it printed' +
      ' (with its new token).';
  }
  return '';
}

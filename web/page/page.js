// The commissioning page. It speaks only the documented API; what a controller reports is
// always set as text (textContent, input values), never as markup.
'use strict';

// The scan's columns, the result and the conflict where they are seen first.
const COLUMNS = [
  ['mac', 'MAC'], ['state', 'Result'], ['ip', 'IP'], ['gateway', 'Gateway'], ['mask', 'Mask'],
  ['conflict', 'Conflict'], ['node_name', 'Node name'], ['version', 'Version'], ['node_id', 'Node id'],
  ['node_id_type', 'Id type'], ['sender', 'Sender'], ['local', 'Local'], ['answers', 'Answers'],
];
const EDITABLE = ['ip', 'gateway', 'mask'];
const REFUSAL_AFTER = 'mask';   // the reason stands beside what it is about
const ADDRESS_KEYS = ['ip', 'gateway', 'mask', 'version', 'sender', 'local'];

const rows = new Map();   // mac -> {data, tr, cells, inputs, refusal, select, state}
const edits = new Map();  // mac -> {ip?, gateway?, mask?}: what the user typed that differs
let refusalsStand = false;
let running = false;
let sortKey = null;
let sortUp = true;
let layoutPending = false;
let checkTimer = null;
let lastUndo = null;

const $ = (id) => document.getElementById(id);
const act = (name) => document.querySelector('[data-action="' + name + '"]');

// Controls as '?', as the other programs show device text.
function safeText(text) {
  return String(text).replace(/[\u0000-\u001f\u007f-\u009f]/g, '?');
}

function ipNumber(text) {
  const m = /^(\d+)\.(\d+)\.(\d+)\.(\d+)$/.exec(text || '');
  return m ? ((+m[1] * 256 + +m[2]) * 256 + +m[3]) * 256 + +m[4] : -1;
}

function ipText(n) {
  return [n >>> 24, (n >>> 16) & 255, (n >>> 8) & 255, n & 255].join('.');
}

function setStatus(text, isError) {
  $('status').textContent = text;
  $('status').classList.toggle('error', !!isError);
}

async function api(method, path, body) {
  const options = { method, headers: {}, credentials: 'same-origin' };
  if (body !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = JSON.stringify(body);
  }
  const response = await fetch(path, options);
  const type = response.headers.get('Content-Type') || '';
  const data = type.startsWith('application/json') ? await response.json() : await response.text();
  return { status: response.status, data };
}

// ---- The table ----

function buildHeads() {
  const heads = $('heads');
  const select = document.createElement('th');
  select.textContent = 'Select';
  heads.appendChild(select);
  for (const [key, title] of COLUMNS) {
    const th = document.createElement('th');
    th.setAttribute('aria-sort', 'none');
    const b = document.createElement('button');
    b.type = 'button';
    b.textContent = title;
    b.dataset.sort = key;
    b.addEventListener('click', () => sortBy(key));
    th.appendChild(b);
    heads.appendChild(th);
    if (key === REFUSAL_AFTER) {
      const why = document.createElement('th');
      why.textContent = 'Refused because';
      heads.appendChild(why);
    }
  }
}

function makeRow(mac) {
  const tr = document.createElement('tr');
  tr.dataset.mac = mac;
  tr.dataset.state = '';
  const row = { data: null, tr, cells: {}, inputs: {}, refusal: null, select: null };
  const selectCell = document.createElement('td');
  row.select = document.createElement('input');
  row.select.type = 'checkbox';
  row.select.setAttribute('aria-label', 'select ' + mac);
  selectCell.appendChild(row.select);
  tr.appendChild(selectCell);
  for (const [key] of COLUMNS) {
    const td = document.createElement('td');
    td.dataset.field = key;
    if (EDITABLE.includes(key)) {
      const input = document.createElement('input');
      input.dataset.edit = key;
      input.setAttribute('aria-label', key + ' of ' + mac);
      input.spellcheck = false;
      input.addEventListener('input', () => edited(mac, key));
      row.inputs[key] = input;
      td.appendChild(input);
    }
    row.cells[key] = td;
    tr.appendChild(td);
    if (key === REFUSAL_AFTER) {
      row.refusal = document.createElement('td');
      row.refusal.setAttribute('data-refusal', '');
      tr.appendChild(row.refusal);
    }
  }
  rows.set(mac, row);
  return row;
}

// One controller as the scan JSON has it: new rows are made, known ones updated in place.
function upsert(data) {
  const mac = data.mac;
  const isNew = !rows.has(mac);
  const row = isNew ? makeRow(mac) : rows.get(mac);
  row.data = data;
  for (const [key] of COLUMNS) {
    if (key === 'state') continue;
    const value = key === 'node_name' ? safeText(data[key]) : String(data[key] ?? '');
    if (EDITABLE.includes(key)) {
      const input = row.inputs[key];
      const edit = edits.get(mac);
      if (edit && edit[key] === value) {
        delete edit[key];   // the controller reports what was typed
      }
      if (!edit || edit[key] === undefined) {
        if (document.activeElement !== input) input.value = value;
        row.cells[key].classList.remove('changed');
      }
    } else if (row.cells[key].textContent !== value) {
      row.cells[key].textContent = value;
    }
  }
  if (isNew) {
    if (sortKey === null && matchesFilter(row)) {
      $('rows').appendChild(row.tr);
    } else {
      scheduleLayout();
    }
  }
}

function setState(mac, state) {
  const row = rows.get(mac);
  if (!row) return;
  row.tr.dataset.state = state;
  row.cells.state.textContent = state;
}

function matchesFilter(row) {
  const f = $('filter').value.trim().toLowerCase();
  if (!f) return true;
  const d = row.data;
  return [d.mac, d.ip, safeText(d.node_name)].some((v) => v.toLowerCase().includes(f));
}

function sortValue(row, key) {
  if (key === 'state') return row.tr.dataset.state;
  const v = row.data[key];
  if (key === 'answers') return +v;
  if (ADDRESS_KEYS.includes(key)) return ipNumber(v);
  return String(v).toLowerCase();
}

function sortBy(key) {
  sortUp = sortKey === key ? !sortUp : true;
  sortKey = key;
  for (const th of $('heads').children) {
    const b = th.querySelector('button');
    if (b) th.setAttribute('aria-sort', b.dataset.sort === key ? (sortUp ? 'ascending' : 'descending') : 'none');
  }
  layout();
}

function scheduleLayout() {
  if (layoutPending) return;
  layoutPending = true;
  requestAnimationFrame(() => { layoutPending = false; layout(); });
}

// Every row in order of the sort, the filtered out hidden; one pass over the DOM.
function layout() {
  let list = Array.from(rows.values());
  if (sortKey !== null) {
    const sign = sortUp ? 1 : -1;
    list.sort((a, b) => {
      const x = sortValue(a, sortKey);
      const y = sortValue(b, sortKey);
      return x < y ? -sign : x > y ? sign : 0;
    });
  }
  const fragment = document.createDocumentFragment();
  for (const row of list) {
    row.tr.classList.toggle('hidden', !matchesFilter(row));
    fragment.appendChild(row.tr);
  }
  $('rows').appendChild(fragment);
  $('empty').hidden = rows.size > 0;
}

function clearTable() {
  rows.clear();
  $('rows').textContent = '';
  $('empty').hidden = false;
}

// ---- Editing and the check ----

function edited(mac, key) {
  const row = rows.get(mac);
  const value = row.inputs[key].value.trim();
  const edit = edits.get(mac) || {};
  if (value === row.data[key]) {
    delete edit[key];
  } else {
    edit[key] = value;
  }
  row.cells[key].classList.toggle('changed', edit[key] !== undefined);
  if (Object.keys(edit).length) edits.set(mac, edit); else edits.delete(mac);
  scheduleCheck();
}

function setEdit(mac, key, value) {
  const row = rows.get(mac);
  if (!row || value === undefined || value === null || value === '') return;
  row.inputs[key].value = value;
  edited(mac, key);
}

function pendingRows() {
  const list = [];
  for (const [mac, edit] of edits) list.push(Object.assign({ mac }, edit));
  return list;
}

function scheduleCheck() {
  updateButtons();
  clearTimeout(checkTimer);
  checkTimer = setTimeout(check, 150);
}

function showRefusals(list) {
  for (const row of rows.values()) row.refusal.textContent = '';
  const byMac = new Map();
  for (const r of list) {
    byMac.set(r.mac, (byMac.has(r.mac) ? byMac.get(r.mac) + '; ' : '') + r.reason);
  }
  for (const [mac, reason] of byMac) {
    const row = rows.get(mac);
    if (row) row.refusal.textContent = reason;
  }
  refusalsStand = list.length > 0;
  updateButtons();
}

async function check() {
  const pending = pendingRows();
  if (!pending.length) {
    showRefusals([]);
    return;
  }
  const { status, data } = await api('POST', '/api/check', { rows: pending });
  if (status === 200) showRefusals(data.refusals);
}

function updateButtons() {
  const some = edits.size > 0;
  act('apply').disabled = running || !some || refusalsStand;
  act('dry-run').disabled = running || !some || refusalsStand;
  act('discard').disabled = !some;
  act('scan').disabled = running;
  act('undo').disabled = running || !lastUndo;
}

function discard() {
  for (const [mac, edit] of edits) {
    const row = rows.get(mac);
    if (!row) continue;
    for (const key of Object.keys(edit)) {
      row.inputs[key].value = row.data[key];
      row.cells[key].classList.remove('changed');
    }
  }
  edits.clear();
  showRefusals([]);
}

function numberSelected() {
  let first = ipNumber($('first-ip').value.trim());
  if (first < 0) {
    setStatus('First IP: four decimal numbers 0 to 255', true);
    $('first-ip').focus();
    return;
  }
  const gateway = $('number-gateway').value.trim();
  const mask = $('number-mask').value.trim();
  let n = 0;
  for (const tr of $('rows').children) {
    const row = rows.get(tr.dataset.mac);
    if (!row.select.checked || tr.classList.contains('hidden')) continue;
    setEdit(row.data.mac, 'ip', ipText((first + n) >>> 0));
    setEdit(row.data.mac, 'gateway', gateway);
    setEdit(row.data.mac, 'mask', mask);
    ++n;
  }
  setStatus(n ? 'numbered ' + n + (n === 1 ? ' row' : ' rows') + ' from ' + ipText(first) : 'select rows first', !n);
}

// ---- Jobs ----

async function startApply(list, dryRun) {
  const { status, data } = await api('POST', '/api/apply', { rows: list, dry_run: dryRun });
  if (status === 202) {
    $('summary').textContent = '';
    for (const r of list) setState(r.mac, '');   // until the apply tells each row's state
    return;
  }
  if (status === 400 && data.refusals) {
    showRefusals(data.refusals);
    setStatus(data.refusals.length + ' refused; nothing sent', true);
  } else {
    setStatus(data.error || 'the apply did not start (' + status + ')', true);
  }
}

function apply(dryRun) {
  const list = pendingRows();
  if (list.length) startApply(list, dryRun);
}

async function undoLast() {
  if (!lastUndo || !window.confirm('Put back the addresses from before the last apply (' + lastUndo + ')?')) return;
  const csv = await api('GET', '/api/undo');
  if (csv.status !== 200) {
    setStatus('no undo plan', true);
    return;
  }
  const plan = await api('POST', '/api/plan', { text: csv.data });
  if (plan.status === 200 && plan.data.rows.length) startApply(plan.data.rows, false);
}

async function scan() {
  const choice = $('interface').value;
  const { status, data } = await api('POST', '/api/scan', choice ? { interface: choice } : {});
  if (status !== 202) setStatus(data.error || 'the scan did not start', true);
}

async function importPlan(file) {
  if (!file) return;
  const text = await file.text();
  const { status, data } = await api('POST', '/api/plan', { text });
  const list = $('plan-errors');
  list.textContent = '';
  if (status !== 200) {
    setStatus(data.error || 'the plan was not read', true);
    return;
  }
  for (const e of data.errors) {
    const li = document.createElement('li');
    li.textContent = file.name + ':' + e.line + ': ' + e.text;
    list.appendChild(li);
  }
  if (data.errors.length) {
    setStatus(data.errors.length + ' errors in the plan ' + file.name + '; nothing loaded', true);
    return;
  }
  const missing = [];
  for (const r of data.rows) {
    if (!rows.has(r.mac)) missing.push(r.mac);
    for (const key of EDITABLE) setEdit(r.mac, key, r[key]);
  }
  setStatus('loaded ' + file.name + ' as pending edits' +
    (missing.length ? '; not in the table: ' + missing.join(', ') : ''), missing.length > 0);
}

function showJob(job) {
  running = job.running;
  lastUndo = job.undo_file;
  const link = $('undo-link');
  link.hidden = !job.undo_file;
  link.textContent = job.undo_file ? 'Undo file: ' + job.undo_file : '';
  if (job.running) {
    setStatus(job.kind === 'scan' ? 'scanning…' : 'applying…', false);
  } else if (job.kind) {
    const words = ['done', 'not found', 'refused or no interface; nothing sent', 'network failure', 'not confirmed',
      'conflict'];
    const text = job.kind + ': ' + (words[job.status] || 'stopped') + (job.message ? ' (' + job.message + ')' : '');
    setStatus(text, job.status !== 0);
  }
  updateButtons();
}

function showOutcomes(list) {
  const counts = {};
  for (const o of list) {
    setState(o.mac, o.state);
    counts[o.state] = (counts[o.state] || 0) + 1;
    const edit = edits.get(o.mac);
    if (edit && (o.state === 'verified' || o.state === 'unchanged')) {
      edits.delete(o.mac);
      const row = rows.get(o.mac);
      if (row) for (const key of EDITABLE) { row.inputs[key].value = row.data[key]; row.cells[key].classList.remove('changed'); }
    }
  }
  $('summary').textContent = Object.keys(counts).length
    ? 'Summary: ' + Object.entries(counts).map(([s, n]) => n + ' ' + s).join(', ') : '';
  if (sortKey === 'state') scheduleLayout();
  scheduleCheck();
}

// ---- Live events ----

function listen() {
  const events = new EventSource('/api/events');
  events.addEventListener('reset', () => clearTable());
  events.addEventListener('rows', (e) => {
    for (const data of JSON.parse(e.data)) upsert(data);
    $('empty').hidden = rows.size > 0;
    if (sortKey !== null) scheduleLayout();
  });
  events.addEventListener('states', (e) => {
    for (const s of JSON.parse(e.data)) setState(s.mac, s.state);
  });
  events.addEventListener('job', (e) => showJob(JSON.parse(e.data)));
  events.addEventListener('outcomes', (e) => showOutcomes(JSON.parse(e.data)));
  events.addEventListener('refusals', (e) => showRefusals(JSON.parse(e.data)));
  events.addEventListener('message', (e) => setStatus(JSON.parse(e.data), false));
}

async function loadInterfaces() {
  const { status, data } = await api('GET', '/api/interfaces');
  const select = $('interface');
  const add = (value, text) => {
    const o = document.createElement('option');
    o.value = value;
    o.textContent = text;
    select.appendChild(o);
  };
  add('', 'as started');
  add('all', 'all');
  if (status === 200) for (const i of data) add(i.address, (i.name ? i.name + ' ' : '') + i.address);
}

function wire() {
  buildHeads();
  act('scan').addEventListener('click', scan);
  act('apply').addEventListener('click', () => apply(false));
  act('dry-run').addEventListener('click', () => apply(true));
  act('discard').addEventListener('click', discard);
  act('undo').addEventListener('click', undoLast);
  act('number').addEventListener('click', numberSelected);
  $('filter').addEventListener('input', scheduleLayout);
  $('plan-file').addEventListener('change', (e) => { importPlan(e.target.files[0]); e.target.value = ''; });
  const drop = $('drop');
  document.addEventListener('dragover', (e) => { e.preventDefault(); drop.hidden = false; });
  document.addEventListener('dragleave', (e) => { if (e.target === drop) drop.hidden = true; });
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.hidden = true;
    importPlan(e.dataTransfer.files[0]);
  });
  loadInterfaces();
  listen();
}

document.addEventListener('DOMContentLoaded', wire);

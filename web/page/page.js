// The commissioning page: what the technician does and what the server tells, each turned into a
// change of the model (state.js) through the API (api.js), then drawn (draw.js).
import * as state from './state.js';
import { model, EDITABLE } from './state.js';
import { call, listen, watchServer } from './api.js';
import * as draw from './draw.js';
import { $, act } from './draw.js';

const COLUMNS_KEY = 'brevindor-web.columns';   // the optional columns shown, in localStorage

let checkTimer = null;
let stream = null;
let watch = null;

// ---- Editing and the check ----

function edited(mac, key, value) {
  state.setEdit(mac, key, value);
  draw.drawField(mac, key);
  scheduleCheck();
}

function scheduleCheck() {
  draw.drawButtons();
  clearTimeout(checkTimer);
  checkTimer = setTimeout(check, 150);
}

function showRefusals(list) {
  const before = model.refusals.size;
  const firstBefore = model.refusals.values().next().value;
  state.setRefusals(list);
  draw.drawRefusals();
  draw.drawButtons();
  const first = model.refusals.values().next().value;
  if (model.refusals.size !== before || first !== firstBefore) {
    draw.announce(model.refusals.size ? model.refusals.size + ' refused: ' + first
      : before ? 'no refusal stands' : '');
  }
  if (model.sortKey === 'notes') draw.scheduleLayout();
}

async function check() {
  const pending = state.pendingRows();
  if (!pending.length) {
    showRefusals([]);
    return;
  }
  const { status, data } = await call('POST', '/api/check', { rows: pending });
  if (status === 200) showRefusals(data.refusals);
}

function discard() {
  const macs = Array.from(model.edits.keys());
  model.edits.clear();
  for (const mac of macs) draw.drawFields(mac);
  showRefusals([]);
}

// The selected rows that the filter shows, numbered in table order from the first IP, within its
// subnet (with the mask typed here, else the first row's).
async function numberSelected() {
  const macs = state.selectedInOrder();
  if (!macs.length) {
    draw.setStatus('select rows first', true);
    return;
  }
  const first = $('first-ip').value.trim();
  const gateway = $('number-gateway').value.trim();
  const typedMask = $('number-mask').value.trim();
  const plan = state.numbering(first, typedMask || state.current(macs[0], 'mask'), macs.length);
  if (plan === null) {
    // Not an address or no subnet: the server's words for the first row as it would be.
    const row = { mac: macs[0], ip: first };
    if (gateway) row.gateway = gateway;
    if (typedMask) row.mask = typedMask;
    const { status, data } = await call('POST', '/api/check', { rows: [row] });
    const reasons = status === 200 ? data.refusals.map((r) => r.reason) : [];
    draw.setStatus('nothing numbered: ' + (reasons.length ? reasons.join('; ')
      : 'First IP \'' + first + '\' with its mask gives no subnet'), true);
    $('first-ip').setAttribute('aria-invalid', 'true');
    draw.focusField('first-ip');
    return;
  }
  $('first-ip').removeAttribute('aria-invalid');
  plan.ips.forEach((ip, k) => {
    const mac = macs[k];
    state.setEdit(mac, 'ip', ip);
    if (gateway) state.setEdit(mac, 'gateway', gateway);
    if (typedMask) state.setEdit(mac, 'mask', typedMask);
    draw.drawFields(mac);
  });
  const n = plan.ips.length;
  let text = n ? 'numbered ' + n + (n === 1 ? ' row' : ' rows') + ' from ' + first : 'nothing numbered';
  if (plan.stop) {
    const { index, ip, why } = plan.stop;
    text += '; stopped at row ' + (index + 1) + ' of the ' + macs.length + ' selected, ' + macs[index] + ': ' +
      (ip === null ? 'the next number' : ip) + ' ' + why;
  }
  draw.setStatus(text, plan.stop !== null);
  scheduleCheck();
}

// ---- Jobs ----

async function startApply(list, dryRun) {
  const { status, data } = await call('POST', '/api/apply', { rows: list, dry_run: dryRun });
  if (status === 202) {
    model.outcomes = {};
    draw.drawSummary();
    for (const r of list) {   // until the apply tells each row's state
      model.states.delete(r.mac);
      draw.drawState(r.mac);
    }
    return;
  }
  if (status === 400 && data.refusals) {
    showRefusals(data.refusals);
    draw.setStatus(data.refusals.length + ' refused; nothing sent', true);
  } else {
    draw.setStatus(data.error || 'the apply did not start (' + status + ')', true);
  }
}

function apply(dryRun) {
  const list = state.pendingRows();
  if (list.length) startApply(list, dryRun);
}

async function undoLast() {
  const file = model.job.undo_file;
  if (!file || !window.confirm('Put back the addresses from before the last apply (' + file + ')?')) return;
  const csv = await call('GET', '/api/undo');
  if (csv.status !== 200) {
    draw.setStatus('no undo plan', true);
    return;
  }
  const plan = await call('POST', '/api/plan', { text: csv.data });
  if (plan.status === 200 && plan.data.rows.length) startApply(plan.data.rows, false);
}

async function scan() {
  const choice = $('interface').value;
  const { status, data } = await call('POST', '/api/scan', choice ? { interface: choice } : {});
  if (status !== 202) draw.setStatus(data.error || 'the scan did not start', true);
}

async function importPlan(file) {
  if (!file) return;
  if (model.server !== 'up') {
    draw.setStatus('not loaded: brevindor-web does not answer', true);
    return;
  }
  const text = await file.text();
  const { status, data } = await call('POST', '/api/plan', { text });
  draw.drawPlanErrors(file.name, []);
  if (status !== 200) {
    draw.setStatus(data.error || 'the plan was not read', true);
    return;
  }
  draw.drawPlanErrors(file.name, data.errors);
  if (data.errors.length) {
    draw.setStatus(data.errors.length + ' errors in the plan ' + file.name + '; nothing loaded', true);
    return;
  }
  const missing = [];
  for (const r of data.rows) {
    if (!model.rows.has(r.mac)) {
      missing.push(r.mac);
      continue;
    }
    for (const key of EDITABLE) if (r[key]) state.setEdit(r.mac, key, r[key]);
    draw.drawFields(r.mac);
  }
  draw.setStatus('loaded ' + file.name + ' as pending edits' +
    (missing.length ? '; not in the table: ' + missing.join(', ') : ''), missing.length > 0);
  scheduleCheck();
}

// ---- The watch, Identify and Replace ----

async function setWatch(on) {
  const { status, data } = await call('POST', '/api/watch', { on });
  if (status !== 202 && status !== 200) draw.setStatus(data.error || 'the watch did not start', true);
  draw.drawButtons();
  return status === 202 || status === 200;
}

function showIdentified() {
  draw.drawIdentify((mac) => {
    $('filter').value = mac;
    $('filter').dispatchEvent(new Event('change'));
    draw.announce('the table shows ' + mac + ' alone');
  });
}

async function identify() {
  state.startIdentify();
  showIdentified();
  draw.focusField('identify-help');
  if (!state.watching()) await setWatch(true);
}

function closeIdentify() {
  model.watch.identifying = false;
  showIdentified();
  act('identify').focus();
}

let replacing = null;   // the MAC the dialog replaces

function openReplace(mac) {
  replacing = mac;
  $('replace-old').textContent = mac;
  $('replace-error').textContent = '';
  $('replace-new').value = '';
  const choice = $('replace-choice');
  choice.textContent = '';
  const none = document.createElement('option');
  none.value = '';
  none.textContent = 'typed below';
  choice.appendChild(none);
  const appeared = state.appearedSince(mac);
  for (const other of appeared) {
    const o = document.createElement('option');
    o.value = other;
    o.textContent = other;
    choice.appendChild(o);
  }
  if (appeared.length) choice.value = appeared[0];
  $('replace-dialog').showModal();
}

// The watch sends while it runs: it ends first, then the replacement goes through the runner.
async function replace(e) {
  e.preventDefault();
  const newMac = $('replace-new').value.trim() || $('replace-choice').value;
  if (state.watching()) {
    await call('POST', '/api/watch', { on: false });
    for (let k = 0; k < 50; ++k) {
      const job = await call('GET', '/api/job');
      if (job.status !== 200 || !job.data.running) break;
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
  }
  const { status, data } = await call('POST', '/api/replace', { old: replacing, new: newMac });
  if (status !== 202) {
    $('replace-error').textContent = data.error || 'the replacement did not start (' + status + ')';
    return;
  }
  $('replace-dialog').close();
  model.outcomes = {};
  model.states.delete(newMac);
  draw.drawState(newMac);
  draw.setStatus('replacing ' + replacing + ' by ' + newMac + '…', false);
}

// ---- What the server tells ----

function showJob(job) {
  model.job = job;
  draw.drawUndoLink();
  const text = state.jobText(job);
  if (text) draw.setStatus(text, !job.running && job.status !== 0);
  draw.drawButtons();
}

function showOutcomes(list) {
  state.takeOutcomes(list);
  for (const o of list) {
    draw.drawState(o.mac);
    draw.drawFields(o.mac);
  }
  draw.drawSummary();
  if (model.sortKey === 'state') draw.scheduleLayout();
  scheduleCheck();
}

const events = {
  reset() {
    state.clearRows();
    draw.clearTable();
  },
  rows(list) {
    for (const data of list) {
      state.takeRow(data);
      draw.drawRow(data.mac);
    }
    draw.drawEmpty();
    if (model.sortKey !== null) draw.scheduleLayout();
  },
  states(list) {
    for (const s of list) {
      model.states.set(s.mac, s.state);
      draw.drawState(s.mac);
    }
  },
  job: showJob,
  outcomes: showOutcomes,
  refusals: showRefusals,
  message: (text) => draw.setStatus(text, false),
  watch(e) {
    const marked = state.takeWatchEvent(e);
    if (marked) draw.drawMark(e.mac);
    if (model.watch.identifying) showIdentified();
  },
};

// ---- Whether the server answers ----

function serverAnswered(server, job) {
  const before = model.server;
  model.server = server;
  if (server === before) return;
  draw.drawServer();
  if (server === 'up') {
    if (job) showJob(job);
    draw.setStatus('brevindor-web answers again', false);
    if (stream.readyState === EventSource.CLOSED) openStream();
    if (!$('interface').options.length) loadInterfaces();
  } else {
    draw.setStatus(state.serverText(server), true);
  }
}

function openStream() {
  if (stream) stream.close();
  stream = listen(events, () => watch && watch.poke());
}

// ---- The keyboard and the clipboard in the table ----

// Enter: the same field in the row below; Shift+Enter: above.
function tableKey(e) {
  const input = e.target;
  if (e.key !== 'Enter' || !input.matches('input[data-edit]') || e.altKey || e.ctrlKey || e.metaKey) return;
  e.preventDefault();
  const next = draw.fieldBeside(input, e.shiftKey ? -1 : 1);
  if (next) {
    next.focus();
    next.select();
  } else {
    draw.announce(e.shiftKey ? 'first row' : 'last row');
  }
}

// Several lines pasted into a field fill its column downward, a line a row, as in a spreadsheet.
function tablePaste(e) {
  const input = e.target;
  if (!input.matches('input[data-edit]')) return;
  const lines = e.clipboardData.getData('text/plain').split(/\r\n|\n|\r/);
  if (lines.length > 1 && lines[lines.length - 1] === '') lines.pop();
  if (lines.length < 2 && !lines[0].includes('\t')) return;   // one value: pasted as usual
  e.preventDefault();
  const mac = input.closest('tr').dataset.mac;
  const { cells, rows, unused } = state.pasteTargets(mac, input.dataset.edit, lines);
  for (const c of cells) {
    state.setEdit(c.mac, c.key, c.value);
    draw.drawField(c.mac, c.key, true);
  }
  draw.setStatus('pasted ' + rows + (rows === 1 ? ' line' : ' lines') + ' from ' + mac + ' down' +
    (unused ? '; ' + unused + ' more had no row below' : ''), unused > 0);
  scheduleCheck();
}

function loadColumns() {
  try {
    const saved = JSON.parse(window.localStorage.getItem(COLUMNS_KEY) || '[]');
    for (const key of saved) if (state.OPTIONAL.includes(key)) model.shown.add(key);
  } catch (e) {
    // nothing kept, or not readable: the default columns
  }
}

function showColumn(key, on) {
  if (on) model.shown.add(key); else model.shown.delete(key);
  draw.drawColumns();
  try {
    window.localStorage.setItem(COLUMNS_KEY, JSON.stringify(Array.from(model.shown)));
  } catch (e) {
    // the browser keeps nothing: the choice lasts as long as the page
  }
}

async function loadInterfaces() {
  const { status, data } = await call('GET', '/api/interfaces');
  draw.drawInterfaces(status === 200 ? data : []);
}

function wire() {
  loadColumns();
  draw.buildColumnMenu(showColumn);
  draw.drawColumns();
  draw.setHandlers({
    edited,
    selected(mac, on) {
      if (on) model.selected.add(mac); else model.selected.delete(mac);
    },
    replace: openReplace,
  });
  draw.buildHeads((key) => {
    state.sortBy(key);
    draw.drawSort();
    draw.layout();
  });
  act('scan').addEventListener('click', scan);
  act('apply').addEventListener('click', () => apply(false));
  act('dry-run').addEventListener('click', () => apply(true));
  act('discard').addEventListener('click', discard);
  act('undo').addEventListener('click', undoLast);
  act('number').addEventListener('click', numberSelected);
  $('watch').addEventListener('change', (e) => setWatch(e.target.checked));
  act('identify').addEventListener('click', identify);
  act('identify-close').addEventListener('click', closeIdentify);
  $('replace-form').addEventListener('submit', replace);
  act('replace-cancel').addEventListener('click', () => $('replace-dialog').close());
  const filtered = () => {
    model.filter = $('filter').value;
    draw.scheduleLayout();
  };
  $('filter').addEventListener('input', filtered);
  $('filter').addEventListener('change', filtered);   // also cleared by a script
  $('plan-file').addEventListener('change', (e) => {
    importPlan(e.target.files[0]);
    e.target.value = '';
  });
  const drop = $('drop');
  document.addEventListener('dragover', (e) => {
    e.preventDefault();
    drop.hidden = model.server !== 'up';
  });
  document.addEventListener('dragleave', (e) => {
    if (e.target === drop) drop.hidden = true;
  });
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.hidden = true;
    importPlan(e.dataTransfer.files[0]);
  });
  $('rows').addEventListener('keydown', tableKey);
  $('rows').addEventListener('paste', tablePaste);
  act('skip').addEventListener('click', (e) => {
    e.preventDefault();
    draw.focusTable();
  });
  draw.drawSummary();
  loadInterfaces();
  openStream();
  call('GET', '/api/watch').then(({ status, data }) => {   // marks told before the page opened
    if (status === 200) for (const e of data.events) events.watch(e);
  });
  watch = watchServer(serverAnswered);
}

wire();   // a module runs once the document is parsed

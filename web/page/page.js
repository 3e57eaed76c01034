// The commissioning page: what the technician does and what the server tells, each turned into a
// change of the model (state.js) through the API (api.js), then drawn (draw.js).
import * as state from './state.js';
import { model, EDITABLE } from './state.js';
import { call, listen } from './api.js';
import * as draw from './draw.js';
import { $, act } from './draw.js';

let checkTimer = null;

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
  state.setRefusals(list);
  draw.drawRefusals();
  draw.drawButtons();
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
    draw.drawSummary({});
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

// ---- What the server tells ----

function showJob(job) {
  model.job = job;
  draw.drawUndoLink();
  const text = state.jobText(job);
  if (text) draw.setStatus(text, !job.running && job.status !== 0);
  draw.drawButtons();
}

function showOutcomes(list) {
  const counts = state.takeOutcomes(list);
  for (const o of list) {
    draw.drawState(o.mac);
    draw.drawFields(o.mac);
  }
  draw.drawSummary(counts);
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
};

async function loadInterfaces() {
  const { status, data } = await call('GET', '/api/interfaces');
  draw.drawInterfaces(status === 200 ? data : []);
}

function wire() {
  draw.setHandlers({
    edited,
    selected(mac, on) {
      if (on) model.selected.add(mac); else model.selected.delete(mac);
    },
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
  $('filter').addEventListener('input', () => {
    model.filter = $('filter').value;
    draw.scheduleLayout();
  });
  $('plan-file').addEventListener('change', (e) => {
    importPlan(e.target.files[0]);
    e.target.value = '';
  });
  const drop = $('drop');
  document.addEventListener('dragover', (e) => {
    e.preventDefault();
    drop.hidden = false;
  });
  document.addEventListener('dragleave', (e) => {
    if (e.target === drop) drop.hidden = true;
  });
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.hidden = true;
    importPlan(e.dataTransfer.files[0]);
  });
  loadInterfaces();
  listen(events);
}

wire();   // a module runs once the document is parsed

// Drawing the model: the table, its cells and the words around it. What a controller reports is
// always set as text (textContent, input values), never as markup.
import { COLUMNS, EDITABLE, model, safeText, current, tableOrder, matchesFilter } from './state.js';

const REFUSAL_AFTER = 'mask';   // the reason stands beside what it is about

const views = new Map();   // mac -> {tr, cells, inputs, refusal, select}
let handlers = { edited() {}, selected() {} };
let layoutPending = false;

export const $ = (id) => document.getElementById(id);
export const act = (name) => document.querySelector('[data-action="' + name + '"]');

// What the rows' controls call: edited(mac, key, value) and selected(mac, checked).
export function setHandlers(h) {
  handlers = h;
}

export function buildHeads(onSort) {
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
    b.addEventListener('click', () => onSort(key));
    th.appendChild(b);
    heads.appendChild(th);
    if (key === REFUSAL_AFTER) {
      const why = document.createElement('th');
      why.textContent = 'Refused because';
      heads.appendChild(why);
    }
  }
}

export function drawSort() {
  for (const th of $('heads').children) {
    const b = th.querySelector('button');
    if (!b) continue;
    const on = b.dataset.sort === model.sortKey;
    th.setAttribute('aria-sort', on ? (model.sortUp ? 'ascending' : 'descending') : 'none');
  }
}

function makeView(mac) {
  const tr = document.createElement('tr');
  tr.dataset.mac = mac;
  tr.dataset.state = '';
  const view = { tr, cells: {}, inputs: {}, refusal: null, select: null };
  const selectCell = document.createElement('td');
  view.select = document.createElement('input');
  view.select.type = 'checkbox';
  view.select.setAttribute('aria-label', 'select ' + mac);
  view.select.addEventListener('change', () => handlers.selected(mac, view.select.checked));
  selectCell.appendChild(view.select);
  tr.appendChild(selectCell);
  for (const [key] of COLUMNS) {
    const td = document.createElement('td');
    td.dataset.field = key;
    if (EDITABLE.includes(key)) {
      const input = document.createElement('input');
      input.dataset.edit = key;
      input.setAttribute('aria-label', key + ' of ' + mac);
      input.spellcheck = false;
      input.addEventListener('input', () => handlers.edited(mac, key, input.value.trim()));
      view.inputs[key] = input;
      td.appendChild(input);
    }
    view.cells[key] = td;
    tr.appendChild(td);
    if (key === REFUSAL_AFTER) {
      view.refusal = document.createElement('td');
      view.refusal.setAttribute('data-refusal', '');
      view.refusal.textContent = model.refusals.get(mac) || '';
      tr.appendChild(view.refusal);
    }
  }
  views.set(mac, view);
  return view;
}

// The row of a controller as the model has it; made when new (and placed where it belongs).
export function drawRow(mac) {
  const data = model.rows.get(mac);
  const isNew = !views.has(mac);
  const view = isNew ? makeView(mac) : views.get(mac);
  for (const [key] of COLUMNS) {
    if (key === 'state') continue;
    if (EDITABLE.includes(key)) {
      drawField(mac, key);
      continue;
    }
    const value = key === 'node_name' ? safeText(data[key]) : String(data[key] ?? '');
    if (view.cells[key].textContent !== value) view.cells[key].textContent = value;
  }
  if (isNew) {
    if (model.sortKey === null && matchesFilter(mac)) {
      $('rows').appendChild(view.tr);
    } else {
      scheduleLayout();
    }
  }
}

// An editable field: what was typed, or what the controller reports, unless it is being typed in.
export function drawField(mac, key) {
  const view = views.get(mac);
  if (!view) return;
  const input = view.inputs[key];
  const edit = model.edits.get(mac);
  const changed = !!edit && edit[key] !== undefined;
  const value = current(mac, key);
  if (document.activeElement !== input && input.value !== value) input.value = value;
  view.cells[key].classList.toggle('changed', changed);
}

export function drawFields(mac) {
  for (const key of EDITABLE) drawField(mac, key);
}

export function drawState(mac) {
  const view = views.get(mac);
  if (!view) return;
  const state = model.states.get(mac) || '';
  view.tr.dataset.state = state;
  view.cells.state.textContent = state;
}

export function drawSelection() {
  for (const [mac, view] of views) view.select.checked = model.selected.has(mac);
}

export function drawRefusals() {
  for (const [mac, view] of views) view.refusal.textContent = model.refusals.get(mac) || '';
}

export function scheduleLayout() {
  if (layoutPending) return;
  layoutPending = true;
  requestAnimationFrame(() => {
    layoutPending = false;
    layout();
  });
}

// Every row in the table's order, those the filter leaves out hidden; one pass over the DOM.
export function layout() {
  const fragment = document.createDocumentFragment();
  for (const mac of tableOrder()) {
    const view = views.get(mac);
    if (!view) continue;
    view.tr.classList.toggle('hidden', !matchesFilter(mac));
    fragment.appendChild(view.tr);
  }
  $('rows').appendChild(fragment);
  drawEmpty();
}

export function drawEmpty() {
  $('empty').hidden = model.rows.size > 0;
}

export function clearTable() {
  views.clear();
  $('rows').textContent = '';
  drawEmpty();
}

export function setStatus(text, isError) {
  $('status').textContent = text;
  $('status').classList.toggle('error', !!isError);
}

export function drawSummary(counts) {
  $('summary').textContent = Object.keys(counts).length
    ? 'Summary: ' + Object.entries(counts).map(([s, n]) => n + ' ' + s).join(', ') : '';
}

export function drawPlanErrors(name, errors) {
  const list = $('plan-errors');
  list.textContent = '';
  for (const e of errors) {
    const li = document.createElement('li');
    li.textContent = name + ':' + e.line + ': ' + e.text;
    list.appendChild(li);
  }
}

export function drawButtons() {
  const some = model.edits.size > 0;
  const running = model.job.running;
  const refused = model.refusals.size > 0;
  act('apply').disabled = running || !some || refused;
  act('dry-run').disabled = running || !some || refused;
  act('discard').disabled = !some;
  act('scan').disabled = running;
  act('undo').disabled = running || !model.job.undo_file;
}

export function drawUndoLink() {
  const link = $('undo-link');
  const file = model.job.undo_file;
  link.hidden = !file;
  link.textContent = file ? 'Undo file: ' + file : '';
}

export function drawInterfaces(list) {
  const select = $('interface');
  const add = (value, text) => {
    const o = document.createElement('option');
    o.value = value;
    o.textContent = text;
    select.appendChild(o);
  };
  add('', 'as started');
  add('all', 'all');
  for (const i of list) add(i.address, (i.name ? i.name + ' ' : '') + i.address);
}

export function focusField(id) {
  $(id).focus();
}

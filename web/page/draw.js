// Drawing the model: the table, its cells and the words around it. What a controller reports is
// always set as text (textContent, input values), never as markup.
import {
  COLUMNS, OPTIONAL, EDITABLE, model, safeText, current, tableOrder, matchesFilter, summaryText, serverText,
  markText, watching, timeOfDay,
} from './state.js';

const views = new Map();   // mac -> {tr, cells, inputs, refusal, conflict, select}
let handlers = { edited() {}, selected() {}, replace() {} };
let layoutPending = false;
let summaryPending = false;

export const $ = (id) => document.getElementById(id);
export const act = (name) => document.querySelector('[data-action="' + name + '"]');

// What the rows' controls call: edited(mac, key, value), selected(mac, checked) and replace(mac).
export function setHandlers(h) {
  handlers = h;
}

export function buildHeads(onSort) {
  const heads = $('heads');
  const select = document.createElement('th');
  select.scope = 'col';
  select.textContent = 'Select';
  heads.appendChild(select);
  for (const [key, title] of COLUMNS) {
    const th = document.createElement('th');
    th.scope = 'col';
    th.className = 'col-' + key;
    th.setAttribute('aria-sort', 'none');
    const b = document.createElement('button');
    b.type = 'button';
    b.textContent = title;
    b.dataset.sort = key;
    b.addEventListener('click', () => onSort(key));
    th.appendChild(b);
    heads.appendChild(th);
  }
}

// The menu of the optional columns: onToggle(key, shown).
export function buildColumnMenu(onToggle) {
  const box = $('column-choices');
  for (const [key, title] of COLUMNS) {
    if (!OPTIONAL.includes(key)) continue;
    const label = document.createElement('label');
    const check = document.createElement('input');
    check.type = 'checkbox';
    check.dataset.column = key;
    check.checked = model.shown.has(key);
    check.addEventListener('change', () => onToggle(key, check.checked));
    label.append(check, ' ' + title);
    box.appendChild(label);
  }
}

export function drawColumns() {
  for (const key of OPTIONAL) $('table').classList.toggle('show-' + key, model.shown.has(key));
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
  const view = { tr, cells: {}, inputs: {}, refusal: null, conflict: null, select: null, mark: null, replace: null };
  const selectCell = document.createElement('td');
  view.select = document.createElement('input');
  view.select.type = 'checkbox';
  view.select.setAttribute('aria-label', 'select ' + mac);
  view.select.checked = model.selected.has(mac);
  view.select.addEventListener('change', () => handlers.selected(mac, view.select.checked));
  selectCell.appendChild(view.select);
  tr.appendChild(selectCell);
  for (const [key, title] of COLUMNS) {
    const td = document.createElement('td');
    td.className = 'col-' + key;
    if (key === 'notes') {
      view.refusal = document.createElement('div');
      view.refusal.setAttribute('data-refusal', '');
      view.refusal.textContent = model.refusals.get(mac) || '';
      view.conflict = document.createElement('div');
      view.conflict.dataset.field = 'conflict';
      td.append(view.refusal, view.conflict);
    } else if (key === 'watch') {
      view.mark = document.createElement('span');
      view.mark.dataset.field = 'watch';
      view.replace = document.createElement('button');
      view.replace.type = 'button';
      view.replace.textContent = 'Replace…';
      view.replace.dataset.replace = mac;
      view.replace.setAttribute('aria-label', 'Replace ' + mac);
      view.replace.hidden = true;
      view.replace.addEventListener('click', () => handlers.replace(mac));
      td.append(view.mark, ' ', view.replace);
    } else {
      td.dataset.field = key;
    }
    if (EDITABLE.includes(key)) {
      const input = document.createElement('input');
      input.dataset.edit = key;
      input.setAttribute('aria-label', title + ' of ' + mac);
      input.spellcheck = false;
      input.autocomplete = 'off';
      input.addEventListener('input', () => handlers.edited(mac, key, input.value.trim()));
      view.inputs[key] = input;
      td.appendChild(input);
    }
    view.cells[key] = td;
    tr.appendChild(td);
  }
  views.set(mac, view);
  return view;
}

// Sets text where it differs; a long one is also the element's title, to read whole on hover.
function setText(element, text) {
  if (element.textContent === text) return;
  element.textContent = text;
  if (text.length > 24) element.title = text; else element.removeAttribute('title');
}

// The row of a controller as the model has it; made when new (and placed where it belongs).
export function drawRow(mac) {
  const data = model.rows.get(mac);
  const isNew = !views.has(mac);
  const view = isNew ? makeView(mac) : views.get(mac);
  for (const [key] of COLUMNS) {
    if (key === 'state' || key === 'watch') continue;
    if (EDITABLE.includes(key)) {
      drawField(mac, key);
    } else if (key === 'notes') {
      setText(view.conflict, String(data.conflict ?? ''));
    } else {
      setText(view.cells[key], key === 'node_name' ? safeText(data[key]) : String(data[key] ?? ''));
    }
  }
  drawMark(mac);
  if (isNew) {
    if (model.sortKey === null && matchesFilter(mac)) {
      $('rows').appendChild(view.tr);
    } else {
      scheduleLayout();
    }
  }
  scheduleSummary();
}

// An editable field: what was typed, or what the controller reports; a field being typed in keeps
// its text unless told otherwise.
export function drawField(mac, key, evenTyping = false) {
  const view = views.get(mac);
  if (!view) return;
  const input = view.inputs[key];
  const edit = model.edits.get(mac);
  const changed = !!edit && edit[key] !== undefined;
  const value = current(mac, key);
  if ((evenTyping || document.activeElement !== input) && input.value !== value) input.value = value;
  view.cells[key].classList.toggle('changed', changed);
  scheduleSummary();
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

// A row's watch mark, and Replace… on a row marked gone.
export function drawMark(mac) {
  const view = views.get(mac);
  if (!view) return;
  const mark = model.watch.marks.get(mac);
  view.tr.dataset.watch = mark ? mark.event : '';
  setText(view.mark, markText(mac));
  view.replace.hidden = !mark || mark.event !== 'gone';
}

// Identify's list: each MAC a button that filters the table to it, newest first.
export function drawIdentify(onChoose) {
  const box = $('identify');
  box.hidden = !model.watch.identifying;
  const list = $('identify-list');
  list.textContent = '';
  for (const i of model.watch.identified) {
    const li = document.createElement('li');
    const b = document.createElement('button');
    b.type = 'button';
    b.dataset.identified = i.mac;
    b.textContent = i.mac;
    b.addEventListener('click', () => onChoose(i.mac));
    li.append(b, ' ' + i.event + ' ' + timeOfDay(i.time));
    list.appendChild(li);
  }
  $('identify-none').hidden = model.watch.identified.length > 0;
}

export function drawRefusals() {
  for (const [mac, view] of views) {
    const reason = model.refusals.get(mac) || '';
    setText(view.refusal, reason);
    for (const key of EDITABLE) {
      const input = view.inputs[key];
      if (reason) input.setAttribute('aria-invalid', 'true'); else input.removeAttribute('aria-invalid');
    }
  }
  scheduleSummary();
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
  scheduleSummary();
}

export function setStatus(text, isError) {
  $('status').textContent = text;
  $('status').classList.toggle('error', !!isError);
}

// Said to a screen reader, not shown.
export function announce(text) {
  $('announce').textContent = text;
}

function scheduleSummary() {
  if (summaryPending) return;
  summaryPending = true;
  requestAnimationFrame(() => {
    summaryPending = false;
    $('summary').textContent = summaryText();
  });
}

export function drawSummary() {
  scheduleSummary();
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
  const busy = model.job.running || model.server !== 'up';
  const refused = model.refusals.size > 0;
  act('apply').disabled = busy || !some || refused;
  act('dry-run').disabled = busy || !some || refused;
  act('discard').disabled = !some;
  act('scan').disabled = busy;
  const watch = watching();
  $('watch').checked = watch;
  $('watch').disabled = model.server !== 'up' || (model.job.running && !watch);
  act('identify').disabled = $('watch').disabled;
  act('undo').disabled = busy || !model.job.undo_file;
  $('plan-file').disabled = model.server !== 'up';
  $('plan-file').closest('label').classList.toggle('disabled', model.server !== 'up');
}

export function drawServer() {
  const notice = $('server-notice');
  const text = serverText(model.server);
  notice.hidden = !text;
  if (notice.textContent !== text) notice.textContent = text;
  document.body.classList.toggle('server-gone', !!text);
  drawButtons();
}

export function drawUndoLink() {
  const link = $('undo-link');
  const file = model.job.undo_file;
  link.hidden = !file;
  link.textContent = file ? 'Undo file: ' + file : '';
}

export function drawInterfaces(list) {
  const select = $('interface');
  select.textContent = '';
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

// The same field in the row shown step rows below (above when negative), or null.
export function fieldBeside(input, step) {
  const shown = Array.from($('rows').children).filter((tr) => !tr.classList.contains('hidden'));
  const at = shown.indexOf(input.closest('tr'));
  const to = shown[at + step];
  return at < 0 || !to ? null : to.querySelector('[data-edit="' + input.dataset.edit + '"]');
}

// The first row's IP field, or the table when it has no row.
export function focusTable() {
  const first = Array.from($('rows').children).find((tr) => !tr.classList.contains('hidden'));
  (first ? first.querySelector('[data-edit="ip"]') : $('table')).focus();
}

export function focusField(id) {
  $(id).focus();
}

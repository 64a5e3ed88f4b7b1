#include "tools/quorvel-trace/report_assets.h"

namespace qtrace {

const char kReportStyle[] = R"css(
body { font: 13px/1.4 system-ui, sans-serif; margin: 0 1.5em 2em; color: #222; background: #fff; }
h1 { font-size: 1.4em; margin: .8em 0 .3em; }
h2 { font-size: 1.15em; margin: 1.4em 0 .4em; border-bottom: 1px solid #ccc; }
h3 { font-size: 1em; margin: 1em 0 .3em; }
dl.facts { display: grid; grid-template-columns: max-content auto; gap: .1em 1em; margin: .4em 0; }
dl.facts dt { color: #555; }
dl.facts dd { margin: 0; }
p.closing { font-weight: 600; }
.hint, .note { color: #555; }
table { border-collapse: collapse; }
th, td { padding: 2px 8px; text-align: left; vertical-align: top; }
th { background: #eee; position: sticky; top: 0; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
table.sortable th { cursor: pointer; user-select: none; }
table.sortable th[aria-sort=ascending]::after { content: " \25b2"; }
table.sortable th[aria-sort=descending]::after { content: " \25bc"; }
table.sortable tbody tr:nth-child(even), table.list tr.call:nth-child(even) { background: #f7f7f7; }
.tables { display: flex; flex-wrap: wrap; gap: 0 2.5em; }
.timeline { overflow-x: auto; }
.timeline [data-call] { cursor: pointer; }
.timeline [data-call]:hover { opacity: .7; }
.filter { position: sticky; top: 0; background: #fff; padding: .4em 0; z-index: 2; }
.filter input[type=search] { width: 28em; }
table.list { font: 12px/1.35 ui-monospace, monospace; width: 100%; table-layout: fixed; }
table.list th { position: static; }
table.list.head { position: sticky; top: 2.4em; z-index: 1; }
table.list th, table.list td { padding: 2px 6px; }  /* the 12px the columns add to their text */
table.list col:nth-child(1) { width: calc(15ch + 12px); }
table.list col:nth-child(2) { width: calc(23ch + 12px); }
table.list col:nth-child(3) { width: calc(24ch + 12px); }
table.list col:nth-child(6) { width: calc(23ch + 12px); }
table.list col:nth-child(7) { width: calc(10ch + 12px); }
table.list td { white-space: pre-wrap; word-break: break-all; }
table.list td:nth-child(1), table.list td:nth-child(7) { white-space: nowrap; }
table.list td:nth-child(2), table.list td:nth-child(6) { word-break: normal; overflow-wrap: anywhere; }
.block { content-visibility: auto; contain-intrinsic-height: 10000px; }
tr.call.err { background: #fde8e8 !important; }
tr.call.err td:nth-child(6) { color: #b00; font-weight: 600; }
tr.call.unmatched td:nth-child(6) { color: #a60; }
tr.call.current { outline: 2px solid #1f77b4; }
tr.gap td { color: #777; font-style: italic; text-align: center; }
.buf { cursor: pointer; border-bottom: 1px dotted #888; }
.buf.hex { color: #245; }
)css";

const char kReportScript[] = R"js(
(function () {
  'use strict';
  var rows = Array.prototype.slice.call(document.querySelectorAll('tr.call'));
  /* The list's blocks, each laid out only near the view; until then it takes the height
     its shown rows would, so that the scroll bar and links land where the rows are. */
  var blocks = Array.prototype.map.call(document.querySelectorAll('#calls .block'), function (b) {
    return { element: b, rows: b.getElementsByTagName('tr').length, hidden: 0 };
  });
  var blockOf = [];
  blocks.forEach(function (b, k) {
    var n = b.element.querySelectorAll('tr.call').length;
    for (var i = 0; i < n; ++i) blockOf.push(k);
  });
  var head = document.querySelector('#calls table.head tr');
  var rowHeight = (head && head.offsetHeight) || 20;
  var box = document.getElementById('q');
  var errorsOnly = document.getElementById('errors');
  var shown = document.getElementById('shown');
  var texts = null;

  function readFragment() {
    var p = new URLSearchParams(location.hash.slice(1));
    return { q: p.get('q') || '', errors: p.get('errors') === '1' };
  }

  function writeFragment() {
    var p = new URLSearchParams();
    if (box.value) p.set('q', box.value);
    if (errorsOnly.checked) p.set('errors', '1');
    var fragment = p.toString();
    var url = location.pathname + location.search + (fragment ? '#' + fragment : '');
    try {
      history.replaceState(null, '', url);
    } catch (e) {
      location.hash = fragment;
    }
  }

  /* A row is shown when it holds every word of the box (ignoring case) and, with
     "errors only", when its call returned an error. */
  function filter() {
    var words = box.value.toLowerCase().split(/\s+/).filter(Boolean);
    if (texts === null && words.length) texts = rows.map(function (r) { return r.textContent.toLowerCase(); });
    var count = 0;
    blocks.forEach(function (b) { b.hidden = 0; });
    for (var i = 0; i < rows.length; ++i) {
      var keep = (!errorsOnly.checked || rows[i].classList.contains('err')) &&
          words.every(function (w) { return texts[i].indexOf(w) >= 0; });
      if (rows[i].hidden === keep) rows[i].hidden = !keep;
      if (keep) ++count;
      else ++blocks[blockOf[i]].hidden;
    }
    blocks.forEach(function (b) {
      var left = b.rows - b.hidden;
      b.element.hidden = left === 0;
      b.element.style.containIntrinsicHeight = left * rowHeight + 'px';
    });
    shown.textContent = count + ' of ' + rows.length + ' rows shown';
  }

  function applyFragment() {
    var state = readFragment();
    box.value = state.q;
    errorsOnly.checked = state.errors;
    filter();
  }

  function onInput() {
    filter();
    writeFragment();
  }

  function cellKey(row, column) {
    var cell = row.cells[column];
    if (!cell) return '';
    var v = cell.getAttribute('data-v');
    return v !== null ? parseFloat(v) : cell.textContent.toLowerCase();
  }

  function sortBy(table, th) {
    var column = th.cellIndex;
    var ascending = th.getAttribute('aria-sort') !== 'ascending';
    Array.prototype.forEach.call(th.parentNode.cells, function (h) { h.removeAttribute('aria-sort'); });
    th.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
    var body = table.tBodies[0];
    var sorted = Array.prototype.slice.call(body.rows).sort(function (a, b) {
      var x = cellKey(a, column), y = cellKey(b, column);
      var order = x < y ? -1 : x > y ? 1 : 0;
      return ascending ? order : -order;
    });
    sorted.forEach(function (r) { body.appendChild(r); });
  }

  function toggleHex(span) {
    if (span.getAttribute('data-text') === null) span.setAttribute('data-text', span.textContent);
    var hex = span.classList.toggle('hex');
    span.textContent = span.getAttribute(hex ? 'data-hex' : 'data-text');
  }

  var current = null;
  function showCall(number) {
    var note = document.getElementById('timeline-note');
    var row = document.getElementById('c' + number);
    if (!row) {
      note.textContent = 'Call ' + number + ' is not in the list (left out above the row limit).';
      return;
    }
    note.textContent = '';
    if (row.hidden) {
      box.value = '';
      errorsOnly.checked = false;
      onInput();
    }
    if (current) current.classList.remove('current');
    current = row;
    row.classList.add('current');
    row.scrollIntoView({ block: 'center' });
  }

  Array.prototype.forEach.call(document.querySelectorAll('table.sortable'), function (table) {
    table.tHead.addEventListener('click', function (e) {
      var th = e.target.closest('th');
      if (th) sortBy(table, th);
    });
  });
  document.addEventListener('click', function (e) {
    var buf = e.target.closest('.buf');
    if (buf) toggleHex(buf);
    var bar = e.target.closest('[data-call]');
    if (bar) showCall(bar.getAttribute('data-call'));
  });
  box.addEventListener('input', onInput);
  errorsOnly.addEventListener('change', onInput);
  window.addEventListener('hashchange', applyFragment);
  applyFragment();
})();
)js";

}  // namespace qtrace

// The page's own rules, without a browser: the address rule it numbers by, numbering within a
// subnet, and the table's order. Run by run.sh with node's test runner.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import * as state from '../../web/page/state.js';

test('addresses are read by the server\'s rule', () => {
  const cases = [
    ['192.168.1.10', 3232235786], ['0.0.0.0', 0], ['255.255.255.255', 4294967295], ['10.0.0.255', 167772415],
    ['300.1.2.3', null], ['256.0.0.0', null], ['192.168.001.010', null], ['01.2.3.4', null], ['192.168.1', null],
    ['1.2.3.4.5', null], [' 1.2.3.4', null], ['1.2.3.4 ', null], ['1..2.3', null], ['1.2.3.-4', null],
    ['1.2.3.4e0', null], ['０.1.2.3', null], ['', null], ['1.2.3.1000', null],
  ];
  for (const [text, value] of cases) assert.equal(state.parseIpv4(text), value, text);
  for (const [text, value] of cases) if (value !== null) assert.equal(state.ipv4Text(value), text);
});

test('numbering stays within the first IP\'s subnet and never wraps', () => {
  const broadcast24 = 'would be the broadcast address of 192.168.1.0/24';
  const cases = [
    // first, mask, rows: the addresses given, then where and why it stopped
    ['192.168.1.10', '255.255.255.0', 3, ['192.168.1.10', '192.168.1.11', '192.168.1.12'], null],
    ['192.168.1.253', '255.255.255.0', 4, ['192.168.1.253', '192.168.1.254'], [2, '192.168.1.255', broadcast24]],
    ['192.168.1.255', '255.255.255.0', 2, [], [0, '192.168.1.255', broadcast24]],
    ['10.0.0.254', '255.255.254.0', 3, ['10.0.0.254', '10.0.0.255', '10.0.1.0'], null],
    ['10.0.0.0', '255.255.255.254', 3, ['10.0.0.0', '10.0.0.1'], [2, '10.0.0.2', 'would be past the end of 10.0.0.0/31']],
    ['10.0.0.7', '255.255.255.255', 2, ['10.0.0.7'], [1, '10.0.0.8', 'would be past the end of 10.0.0.7/32']],
    ['255.255.255.254', '255.255.255.254', 3, ['255.255.255.254', '255.255.255.255'],
      [2, null, 'would be past the end of 255.255.255.254/31']],
    ['223.255.255.253', '255.0.0.0', 3, ['223.255.255.253', '223.255.255.254'],
      [2, '223.255.255.255', 'would be the broadcast address of 223.0.0.0/8']],
  ];
  for (const [first, mask, count, ips, stop] of cases) {
    const plan = state.numbering(first, mask, count);
    assert.deepEqual(plan.ips, ips, first + ' ' + mask);
    assert.deepEqual(plan.stop && [plan.stop.index, plan.stop.ip, plan.stop.why], stop, first + ' ' + mask);
  }
  for (const [first, mask] of [['300.1.2.3', '255.255.255.0'], ['192.168.1.1', '255.0.255.0'],
    ['192.168.1.1', '0.0.0.0'], ['192.168.1.1', '255.255.255.00'], ['192.168.1.1', '']]) {
    assert.equal(state.numbering(first, mask, 2), null, first + ' ' + mask);
  }
});

test('address columns sort as numbers, names as text', () => {
  state.clearRows();
  const rows = [
    { mac: 'a', ip: '192.168.1.100', sender: '127.0.0.10', version: '1.0.0.10', answers: 10, node_name: 'b' },
    { mac: 'b', ip: '192.168.1.21', sender: '127.0.0.2', version: '1.0.0.8', answers: 9, node_name: 'C' },
    { mac: 'c', ip: '9.1.1.1', sender: '127.0.0.3', version: '1.0.0.9', answers: 1, node_name: 'a' },
  ];
  for (const r of rows) state.takeRow(r);
  const cases = [['ip', 'cba'], ['sender', 'bca'], ['version', 'bca'], ['answers', 'cba'], ['node_name', 'cab']];
  for (const [key, order] of cases) {
    state.model.sortKey = null;
    state.sortBy(key);
    assert.equal(state.tableOrder().join(''), order, key);
    state.sortBy(key);
    assert.equal(state.tableOrder().join(''), [...order].reverse().join(''), key + ' descending');
  }
  state.clearRows();
});

test('watch events mark rows, Identify lists what came back or appeared, Replace offers what appeared since', () => {
  const w = state.model.watch;
  w.marks.clear();
  w.identified = [];
  w.identifying = false;
  const at = '2026-01-02T03:04:05.678Z';
  // event, MAC, whether it marks its row
  const told = [
    ['present', 'A', false], ['present', 'B', false], ['appeared', 'C', true], ['gone', 'B', true],
    ['conflict', 'A', false], ['appeared', 'D', true], ['changed', 'A', true],
  ];
  state.startIdentify();
  for (const [event, mac, marks] of told) assert.equal(state.takeWatchEvent({ event, mac, time: at }), marks, event);
  assert.equal(state.markText('B').split(' ')[0], 'gone');
  assert.equal(state.markText('E'), '');
  assert.deepEqual(state.appearedSince('B'), ['D'], 'C appeared before B went');
  assert.deepEqual(state.appearedSince('X'), ['D', 'C'], 'unmarked: every one, newest first');
  state.takeWatchEvent({ event: 'back', mac: 'B', time: at });
  state.takeWatchEvent({ event: 'appeared', mac: 'C', time: at });   // again: listed once, as newest
  assert.deepEqual(w.identified.map((i) => i.mac + ' ' + i.event), ['C appeared', 'B back', 'D appeared']);
  assert.equal(w.marks.get('B').event, 'back');
  for (const mac of ['A', 'B', 'C', 'D', 'E']) state.model.rows.set(mac, { mac });
  state.model.sortKey = null;
  state.sortBy('watch');
  assert.deepEqual(state.tableOrder(), ['E', 'C', 'D', 'B', 'A'], 'unmarked first, then by the mark');
  state.model.rows.clear();
  state.model.sortKey = null;
});

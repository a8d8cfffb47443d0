// The dashboard page: the gateway's latest states from /api/state, kept live by the
// /api/events stream, and charts of /api/history drawn with dygraphs (a global from
// /vendor/dygraph.min.js). Plain DOM, no build step.
import {
  FAULT_MODES, KINDS, chartPlans, deviceTitle, formatNumber, formatPower, formatTime, isNumber,
  mergeSeries, problemsOf, summarize, typeOf, withUnit,
} from './values.js';

// ---- DOM helpers ---------------------------------------------------------------------

const $ = (id) => document.getElementById(id);

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function setText(id, text) {
  const node = $(id);
  if (node.textContent !== text) node.textContent = text;
}

function setPill(id, level, text) {
  const node = $(id);
  node.dataset.level = level;
  node.textContent = text;
}

// ---- State -------------------------------------------------------------------------

const devices = new Map(); // name -> {device, online, last_page, state}
const status = { bridge: null, broker: null };

// Takes a device object unless an older copy of it arrives after a newer one.
function takeDevice(entry) {
  if (!entry || typeof entry.device !== 'string') return false;
  const known = devices.get(entry.device);
  if (known && known.last_page && entry.last_page && entry.last_page < known.last_page) {
    return false;
  }
  devices.set(entry.device, entry);
  return true;
}

const sortedDevices = () => [...devices.values()]
  .sort((a, b) => (a.device < b.device ? -1 : a.device > b.device ? 1 : 0));

// ---- Rendering -----------------------------------------------------------------------

function renderSummary() {
  const s = summarize(sortedDevices());
  setText('sum-soc', s.soc === null ? '–' : `${formatNumber(s.soc, 0)} %`);
  $('soc-bar').style.width = `${s.soc === null ? 0 : Math.max(0, Math.min(100, s.soc))}%`;
  $('tile-soc').dataset.level = s.soc === null ? '' : s.soc < 30 ? 'low' : s.soc < 60 ? 'mid' : 'good';
  let battery = withUnit(s.batteryVoltage, 'V', 1);
  if (s.batteryCurrent !== null) {
    const sign = s.batteryCurrent > 0 ? '+' : '';
    battery += ` · ${sign}${formatNumber(s.batteryCurrent, 1)} A`;
  }
  setText('sum-voltage', battery);
  setText('sum-pv', formatPower(s.pvPower));
  setText('sum-pv-out', s.controllerPower === null ? '–'
    : `to battery ${formatPower(s.controllerPower)}` +
      (s.dailyKwh === null ? '' : ` · today ${withUnit(s.dailyKwh, 'kWh', 1)}`));
  setText('sum-charger', formatPower(s.chargerPower));
  setText('sum-charger-sub', withUnit(s.chargerCurrent, 'A AC'));
  setText('sum-load', formatPower(s.loadPower));
  setText('sum-load-sub', withUnit(s.loadCurrent, 'A AC'));
  setText('sum-ac', s.acInput === null ? '–' : s.acInput);
  setText('sum-ac-sub', withUnit(s.acVoltage, 'V'));
  $('tile-ac').dataset.level = s.acInput === 'In use' ? 'good' : s.acInput === 'Dropped' ? 'low' : '';
}

function renderProblems() {
  const problems = problemsOf(sortedDevices());
  const box = $('problems');
  box.hidden = problems.length === 0;
  document.body.classList.toggle('has-problems', problems.length > 0);
  const errors = problems.filter((p) => p.level === 'error').length;
  const warnings = problems.length - errors;
  const parts = [];
  if (errors) parts.push(errors === 1 ? '1 error' : `${errors} errors`);
  if (warnings) parts.push(warnings === 1 ? '1 warning' : `${warnings} warnings`);
  setText('problems-title', parts.join(', '));
  const list = $('problems-list');
  list.replaceChildren(...problems.map((p) => {
    const item = element('li', p.level);
    item.append(element('span', 'who', `${p.who}: `), element('span', 'what', p.text));
    return item;
  }));
}

function renderNotice() {
  const notice = $('notice');
  let text = '';
  if (status.bridge && status.bridge.connected === false) {
    text = 'The gateway has no connection to the MATE bridge: values are the last ones received.';
  }
  notice.hidden = text === '';
  notice.textContent = text;
}

function renderStatus() {
  const bridge = status.bridge;
  if (bridge) {
    setPill('link-bridge', bridge.connected ? 'good' : 'bad',
      `MATE bridge: ${bridge.connected ? 'connected' : 'disconnected'}`);
  }
  const broker = status.broker;
  if (broker && typeof broker.state === 'string') {
    const level = broker.state === 'connected' ? 'good' : broker.state === 'off' ? 'off' : 'bad';
    setPill('link-broker', level, `MQTT: ${broker.state}`);
  }
  renderNotice();
}

function valueRow(label, text, key) {
  const row = element('div', 'row');
  row.dataset.key = key;
  row.append(element('dt', '', label), element('dd', '', text));
  return row;
}

// One card, made anew each time (a handful of nodes).
function deviceCard(entry) {
  const s = entry.state || {};
  const kind = KINDS[typeOf(entry)] || { modes: [], values: [], flags: [] };
  const card = element('article', 'card');
  card.id = `device-${entry.device}`;
  card.dataset.device = entry.device;
  card.dataset.online = entry.online ? 'yes' : 'no';

  const head = element('header', 'card-head');
  const title = element('h3', '', deviceTitle(entry));
  title.append(element('span', 'name', entry.device));
  const when = entry.last_page ? formatTime(entry.last_page) : 'never';
  const seen = element('span', 'seen', entry.online ? `last page ${when}` : `silent since ${when}`);
  seen.dataset.level = entry.online ? 'good' : 'bad';
  head.append(title, seen);
  card.append(head);

  const chips = element('div', 'chips');
  for (const key of kind.modes) {
    if (typeof s[key] === 'string') {
      const chip = element('span', 'chip', s[key]);
      chip.dataset.key = key;
      if (FAULT_MODES.has(s[key])) chip.dataset.level = 'bad';
      chips.append(chip);
    }
  }
  for (const [key, label, on, off] of kind.flags) {
    if (typeof s[key] === 'boolean') {
      const chip = element('span', 'chip', `${label} ${s[key] ? on : off}`);
      chip.dataset.key = key;
      chip.dataset.level = s[key] ? 'on' : 'off';
      chips.append(chip);
    }
  }
  if (s.is_230v) chips.append(element('span', 'chip', '230 V model'));
  if (chips.childElementCount) card.append(chips);

  const problems = element('ul', 'card-problems');
  for (const text of Array.isArray(s.errors) ? s.errors : []) {
    problems.append(element('li', 'error', String(text)));
  }
  for (const text of Array.isArray(s.warnings) ? s.warnings : []) {
    problems.append(element('li', 'warning', String(text)));
  }
  if (problems.childElementCount) card.append(problems);

  card.append(valueList(s, kind.values));
  const more = valueList(s, kind.more || []);
  if (more.childElementCount) {
    const details = element('details', 'more');
    details.open = unfolded.has(entry.device);
    details.addEventListener('toggle', () => {
      if (details.open) unfolded.add(entry.device);
      else unfolded.delete(entry.device);
    });
    details.append(element('summary', '', `Counters (${more.childElementCount})`), more);
    card.append(details);
  }
  return card;
}

const unfolded = new Set(); // devices whose counters are shown

function valueList(s, fields) {
  const list = element('dl', 'values');
  for (const [key, label, unit, decimals, enabledKey] of fields) {
    if (!(key in s)) continue;
    if (enabledKey && s[enabledKey] === false) continue;
    let text = withUnit(s[key], unit, decimals);
    if (s[key] === null) text = key === 'battery_temperature' ? 'no sensor' : '–';
    list.append(valueRow(label, text, key));
  }
  return list;
}

function renderDevice(entry) {
  const box = $('devices');
  const card = deviceCard(entry);
  const old = document.getElementById(card.id);
  if (old) {
    old.replaceWith(card);
    return;
  }
  // Keep the cards in the order of their names.
  const after = [...box.children].find((c) => c.dataset.device > entry.device);
  box.insertBefore(card, after || null);
  $('no-devices').hidden = true;
}

function renderAll() {
  $('devices').replaceChildren(...sortedDevices().map(deviceCard));
  $('no-devices').hidden = devices.size > 0;
  renderSummary();
  renderProblems();
}

function markUpdated() {
  setText('updated', `updated ${new Date().toLocaleTimeString(undefined, { hour12: false })}`);
}

// ---- Charts --------------------------------------------------------------------------

const PALETTE = ['#2f7ed8', '#e8590c', '#2b8a3e', '#ae3ec9', '#c92a2a', '#1098ad'];

function cssColor(name) {
  return getComputedStyle(document.body).getPropertyValue(name).trim();
}

function themeOptions() {
  return {
    axisLineColor: cssColor('--line'),
    gridLineColor: cssColor('--grid'),
    strokeWidth: 1.5,
    fillAlpha: 0.2,
  };
}

const charts = new Map(); // id -> {plan, graph, rows, step}
let range = 86400;
let historyRequest = 0;

async function fetchSeries(series, from, to, points) {
  const query = new URLSearchParams({
    device: series.device, key: series.key, from: String(from), to: String(to), points: String(points),
  });
  const reply = await fetch(`/api/history?${query}`);
  const body = await reply.json().catch(() => ({}));
  if (!reply.ok) throw new Error(body.error || `HTTP ${reply.status}`);
  return Array.isArray(body.points) ? body.points : [];
}

function showChartMessage(plot, text) {
  const note = plot.parentElement.querySelector('.chart-empty');
  note.textContent = text;
  note.hidden = text === '';
}

function drawChart(plan, rows) {
  const plot = $(plan.id);
  const old = charts.get(plan.id);
  if (old && old.graph) old.graph.destroy();
  plot.replaceChildren();
  plot.dataset.drawn = 'no';
  plot.dataset.historyRows = String(rows.length);
  plot.dataset.rows = String(rows.length);
  const entry = { plan, rows, graph: null, step: Math.max(60, range / 500) };
  charts.set(plan.id, entry);
  if (typeof Dygraph === 'undefined') {
    showChartMessage(plot, 'The charting library (/vendor/dygraph.min.js) is missing.');
    return;
  }
  if (plan.series.length === 0) {
    showChartMessage(plot, 'No device reports these values.');
    return;
  }
  if (rows.length === 0) {
    showChartMessage(plot, 'No history yet.');
    return;
  }
  makeGraph(entry);
}

// The chart's graph from its rows; a chart without history gets one with its first live row.
function makeGraph(entry) {
  const { plan, rows } = entry;
  const plot = $(plan.id);
  showChartMessage(plot, '');
  const seriesOptions = {};
  plan.series.forEach((s) => { seriesOptions[s.label] = { axis: s.axis || 'y' }; });
  const axes = { x: { pixelsPerLabel: 60 }, y: { axisLabelWidth: 44 } };
  const right = plan.y2 && plan.series.some((s) => s.axis === 'y2');
  if (right) axes.y2 = { axisLabelWidth: 36, independentTicks: true, valueRange: [0, 100] };
  entry.graph = new Dygraph(plot, rows, {
    labels: ['Time', ...plan.series.map((s) => s.label)],
    customBars: true,
    colors: plan.series.map((_, i) => PALETTE[i % PALETTE.length]),
    series: seriesOptions,
    axes,
    ylabel: plan.y,
    y2label: right ? plan.y2 : null,
    legend: 'always',
    labelsSeparateLines: false,
    labelsKMB: true,
    height: plot.clientHeight || 240,
    ...themeOptions(),
  });
  plot.dataset.drawn = 'yes';
}

async function loadHistory() {
  const request = ++historyRequest;
  const to = Math.floor(Date.now() / 1000);
  const from = to - range;
  document.body.dataset.history = 'loading';
  await Promise.all(chartPlans(sortedDevices()).map(async (plan) => {
    const plot = $(plan.id);
    const points = Math.max(100, Math.min(500, Math.round(plot.clientWidth || 500)));
    try {
      const all = await Promise.all(plan.series.map((s) => fetchSeries(s, from, to, points)));
      if (request !== historyRequest) return;
      drawChart(plan, mergeSeries(all));
    } catch (error) {
      if (request !== historyRequest) return;
      drawChart(plan, []);
      showChartMessage(plot, `History unavailable: ${error.message}`);
    }
  }));
  if (request === historyRequest) document.body.dataset.history = 'loaded';
}

// A live state adds a point to the charts at most once per bucket, so the charts
// follow the present without asking for history again.
function extendCharts() {
  const now = Date.now();
  for (const chart of charts.values()) {
    if (typeof Dygraph === 'undefined' || chart.plan.series.length === 0) continue;
    const last = chart.rows.length ? chart.rows[chart.rows.length - 1][0].getTime() : 0;
    if (now - last < chart.step * 1000) continue;
    const row = [new Date(now), ...chart.plan.series.map((s) => {
      const entry = devices.get(s.device);
      const v = entry && entry.online && entry.state ? entry.state[s.key] : null;
      return isNumber(v) ? [v, v, v] : null;
    })];
    if (row.slice(1).every((v) => v === null)) continue;
    const start = now - range * 1000;
    chart.rows = chart.rows.filter((r) => r[0].getTime() >= start);
    chart.rows.push(row);
    if (chart.graph) chart.graph.updateOptions({ file: chart.rows });
    else makeGraph(chart);
    $(chart.plan.id).dataset.rows = String(chart.rows.length);
  }
}

function plannedKeys() {
  return chartPlans(sortedDevices()).map((p) => p.series.map((s) => `${s.device}/${s.key}`).join(',')).join(';');
}

// ---- Server ------------------------------------------------------------------------

let planned = '';

function applyDevice(entry) {
  if (!takeDevice(entry)) return;
  renderDevice(entry);
  renderSummary();
  renderProblems();
  markUpdated();
  // A device the charts did not know yet: ask for its history.
  const keys = plannedKeys();
  if (keys !== planned && document.body.dataset.state === 'ready') {
    planned = keys;
    loadHistory();
  } else {
    extendCharts();
  }
}

function applyStatus(body) {
  if (body && body.bridge) status.bridge = body.bridge;
  if (body && body.broker) status.broker = body.broker;
  renderStatus();
}

async function loadState() {
  const reply = await fetch('/api/state', { cache: 'no-store' });
  if (!reply.ok) throw new Error(`HTTP ${reply.status}`);
  const body = await reply.json();
  if (typeof body.site === 'string' && body.site) {
    setText('site', body.site);
    document.title = `Brivane · ${body.site}`;
  }
  if (body.version) setText('version', `brivane-gateway ${body.version}`);
  for (const entry of Array.isArray(body.devices) ? body.devices : []) takeDevice(entry);
  applyStatus(body);
  renderAll();
  markUpdated();
}

// The whole state again, at the start and after the stream was lost, and the charts
// with it (what happened meanwhile, or what failed to load then).
async function refresh() {
  await loadState();
  document.body.dataset.state = 'ready';
  planned = plannedKeys();
  await loadHistory();
}

let source = null;
let retryDelay = 1000;
let resync = false;

function setLive(level, text) {
  setPill('link-live', level, `Live: ${text}`);
  document.body.dataset.live = level;
}

// An event's JSON; a malformed one is skipped, the next carries the whole device again.
function parseEvent(event) {
  try {
    return JSON.parse(event.data);
  } catch (error) {
    return null;
  }
}

function connectEvents() {
  source = new EventSource('/api/events');
  source.addEventListener('open', () => {
    retryDelay = 1000;
    setLive('good', 'on');
    if (resync) {
      resync = false;
      refresh().catch(() => { resync = true; });
    }
  });
  source.addEventListener('state', (event) => {
    const entry = parseEvent(event);
    if (entry) applyDevice(entry);
  });
  source.addEventListener('status', (event) => {
    const body = parseEvent(event);
    if (body) applyStatus(body);
  });
  source.addEventListener('error', () => {
    resync = true;
    if (source.readyState === EventSource.CLOSED) {
      // Refused or ended for good: the browser will not try again by itself.
      source.close();
      setLive('bad', `reconnecting in ${Math.round(retryDelay / 1000)} s`);
      setTimeout(connectEvents, retryDelay);
      retryDelay = Math.min(retryDelay * 2, 30000);
    } else {
      setLive('wait', 'reconnecting');
    }
  });
}

function chooseRange(button) {
  for (const b of document.querySelectorAll('.ranges button')) {
    b.setAttribute('aria-pressed', String(b === button));
  }
  range = Number(button.dataset.range);
  loadHistory();
}

function start() {
  for (const button of document.querySelectorAll('.ranges button')) {
    button.addEventListener('click', () => chooseRange(button));
  }
  window.matchMedia('(prefers-color-scheme: dark)').addEventListener('change', () => {
    for (const chart of charts.values()) {
      if (chart.graph) chart.graph.updateOptions(themeOptions());
    }
  });
  connectEvents();
  refresh().catch((error) => {
    resync = true;
    const notice = $('notice');
    notice.hidden = false;
    notice.textContent = `The gateway did not answer (${error.message}); waiting for it.`;
  });
}

if (document.readyState === 'loading') {
  document.addEventListener('DOMContentLoaded', start);
} else {
  start();
}

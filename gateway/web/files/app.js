// The dashboard: the gateway's latest states from /api/state, kept live by the
// /api/events stream, and charts of /api/history. Plain DOM, no build step.
'use strict';

(() => {
  // ---- What each kind of device shows: key, label, unit, decimals -------------------

  const KINDS = {
    fx: {
      title: 'FX inverter',
      modes: ['operating_mode', 'ac_mode'],
      values: [
        ['inverter_current', 'Inverter current', 'A'],
        ['charger_current', 'Charger current', 'A'],
        ['buy_current', 'Buy current', 'A'],
        ['sell_current', 'Sell current', 'A'],
        ['ac_input_voltage', 'AC input voltage', 'V'],
        ['ac_output_voltage', 'AC output voltage', 'V'],
        ['battery_voltage', 'Battery voltage', 'V', 1],
      ],
      flags: [['aux_output', 'AUX output', 'on', 'off']],
    },
    mx: {
      title: 'Charge controller',
      modes: ['charger_mode', 'aux_mode'],
      values: [
        ['pv_power', 'PV power', 'W'],
        ['charger_power', 'Charger power', 'W', 0],
        ['pv_voltage', 'PV voltage', 'V'],
        ['pv_current', 'PV current', 'A'],
        ['charger_current', 'Charger current', 'A', 1],
        ['battery_voltage', 'Battery voltage', 'V', 1],
        ['daily_kwh', 'Energy today', 'kWh', 1],
        ['daily_ah', 'Charge today', 'Ah'],
      ],
      flags: [['aux_active', 'AUX output', 'on', 'off']],
    },
    fndc: {
      title: 'FLEXnet DC',
      modes: [],
      values: [
        ['state_of_charge', 'State of charge', '%'],
        ['battery_voltage', 'Battery voltage', 'V', 1],
        ['shunt_a_current', 'Shunt A current', 'A', 1, 'shunt_a_enabled'],
        ['shunt_b_current', 'Shunt B current', 'A', 1, 'shunt_b_enabled'],
        ['shunt_c_current', 'Shunt C current', 'A', 1, 'shunt_c_enabled'],
        ['battery_temperature', 'Battery temperature', '°C'],
      ],
      // The extra data, one item a page: folded away, the card stays short on a phone.
      more: [
        ['todays_minimum_soc', 'Minimum state of charge today', '%'],
        ['days_since_full', 'Days since full', 'd', 1],
        ['todays_net_input_ah', 'Net input charge today', 'Ah'],
        ['todays_net_output_ah', 'Net output charge today', 'Ah'],
        ['todays_net_input_kwh', 'Net input energy today', 'kWh', 2],
        ['todays_net_output_kwh', 'Net output energy today', 'kWh', 2],
        ['net_battery_ah', 'Net battery charge', 'Ah'],
        ['net_battery_kwh', 'Net battery energy', 'kWh', 2],
        ['shunt_a_accumulated_ah', 'Shunt A accumulated charge', 'Ah'],
        ['shunt_a_accumulated_kwh', 'Shunt A accumulated energy', 'kWh', 2],
        ['shunt_b_accumulated_ah', 'Shunt B accumulated charge', 'Ah'],
        ['shunt_b_accumulated_kwh', 'Shunt B accumulated energy', 'kWh', 2],
        ['shunt_c_accumulated_ah', 'Shunt C accumulated charge', 'Ah'],
        ['shunt_c_accumulated_kwh', 'Shunt C accumulated energy', 'kWh', 2],
      ],
      flags: [
        ['charge_parameters_met', 'Charge parameters', 'met', 'not met'],
        ['relay_closed', 'Relay', 'closed', 'open'],
        ['relay_automatic', 'Relay control', 'automatic', 'manual'],
      ],
    },
  };

  // An FX's operating modes that are themselves a fault.
  const FAULT_MODES = new Set(['FX Error', 'AGS Error', 'Comm Error']);

  // ---- Pure helpers --------------------------------------------------------------------

  const isNumber = (v) => typeof v === 'number' && Number.isFinite(v);

  function formatNumber(value, decimals) {
    if (!isNumber(value)) return '–';
    const options = decimals === undefined
      ? { maximumFractionDigits: 2 }
      : { minimumFractionDigits: decimals, maximumFractionDigits: decimals };
    return value.toLocaleString(undefined, options);
  }

  function withUnit(value, unit, decimals) {
    if (!isNumber(value)) return '–';
    return `${formatNumber(value, decimals)} ${unit}`;
  }

  // Watts as W below 10 kW, else kW.
  function formatPower(watts) {
    if (!isNumber(watts)) return '–';
    if (Math.abs(watts) >= 10000) return withUnit(watts / 1000, 'kW', 1);
    return withUnit(Math.round(watts), 'W', 0);
  }

  function deviceTitle(entry) {
    const kind = KINDS[entry.state && entry.state.type];
    const title = kind ? kind.title : entry.device;
    const port = entry.state && entry.state.port;
    return isNumber(port) && port > 0 ? `${title} (port ${port})` : title;
  }

  function typeOf(entry) {
    if (entry.state && typeof entry.state.type === 'string') return entry.state.type;
    return entry.device.split('_')[0];
  }

  // "14:02:03" today, else the date as well.
  function formatTime(iso) {
    const when = new Date(iso);
    if (Number.isNaN(when.getTime())) return 'unknown';
    const today = new Date();
    const sameDay = when.toDateString() === today.toDateString();
    const time = when.toLocaleTimeString(undefined, { hour12: false });
    return sameDay ? time : `${when.toLocaleDateString()} ${time}`;
  }

  const sum = (items, f) => items.reduce((total, item) => total + f(item), 0);

  // The whole system from the devices whose pages arrive; a value is null when no
  // such device reports it.
  function summarize(entries) {
    const online = entries.filter((e) => e.online && e.state);
    const of = (type) => online.filter((e) => typeOf(e) === type).map((e) => e.state);
    const fx = of('fx');
    const mx = of('mx');
    const dc = of('fndc');
    const has = (states, key) => states.filter((s) => isNumber(s[key]));
    const total = (states, key) => {
      const with_ = has(states, key);
      return with_.length ? sum(with_, (s) => s[key]) : null;
    };
    const product = (states, a, b) => {
      const with_ = states.filter((s) => isNumber(s[a]) && isNumber(s[b]));
      return with_.length ? sum(with_, (s) => s[a] * s[b]) : null;
    };
    // The battery monitor knows the battery best; else an FX, else a controller.
    const voltageFrom = [dc, fx, mx].map((s) => has(s, 'battery_voltage')).find((s) => s.length);
    const soc = has(dc, 'state_of_charge');
    const shunts = dc.map((s) => ['a', 'b', 'c']
      .filter((x) => s[`shunt_${x}_enabled`] && isNumber(s[`shunt_${x}_current`]))
      .reduce((t, x) => t + s[`shunt_${x}_current`], 0));
    const acModes = fx.map((s) => s.ac_mode).filter((m) => typeof m === 'string');
    let acInput = null;
    if (acModes.length) {
      if (acModes.includes('AC Use')) acInput = 'In use';
      else if (acModes.includes('AC Drop')) acInput = 'Dropped';
      else acInput = 'Not in use';
    }
    const acVoltages = has(fx, 'ac_input_voltage').map((s) => s.ac_input_voltage);
    return {
      soc: soc.length ? soc[0].state_of_charge : null,
      batteryVoltage: voltageFrom ? voltageFrom[0].battery_voltage : null,
      batteryCurrent: dc.length ? sum(shunts, (c) => c) : null,
      pvPower: total(mx, 'pv_power'),
      controllerPower: total(mx, 'charger_power'),
      dailyKwh: total(mx, 'daily_kwh'),
      chargerPower: product(fx, 'charger_current', 'ac_input_voltage'),
      chargerCurrent: total(fx, 'charger_current'),
      loadPower: product(fx, 'inverter_current', 'ac_output_voltage'),
      loadCurrent: total(fx, 'inverter_current'),
      acInput,
      acVoltage: acVoltages.length ? Math.max(...acVoltages) : null,
    };
  }

  // Every error and warning any device reports, its last page's if it went silent.
  function problemsOf(entries) {
    const problems = [];
    for (const entry of entries) {
      const s = entry.state || {};
      const who = deviceTitle(entry) + (entry.online ? '' : ' (silent)');
      const errors = Array.isArray(s.errors) ? s.errors.slice() : [];
      if (FAULT_MODES.has(s.operating_mode) && errors.length === 0) errors.push(s.operating_mode);
      for (const text of errors) problems.push({ level: 'error', who, text: String(text) });
      for (const text of Array.isArray(s.warnings) ? s.warnings : []) {
        problems.push({ level: 'warning', who, text: String(text) });
      }
    }
    return problems;
  }

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

  // Which keys each chart draws, from the devices known now.
  function chartPlans(entries) {
    const has = (e, key) => e.state && isNumber(e.state[key]);
    const byType = (type) => entries.filter((e) => typeOf(e) === type);
    const fx = byType('fx');
    const mx = byType('mx');
    const dc = byType('fndc');
    const named = (list, e, text) => (list.length > 1 ? `${e.device} ${text}` : text);

    const battery = [];
    const voltageSource = [dc, fx, mx].find((list) => list.some((e) => has(e, 'battery_voltage')));
    if (voltageSource) {
      const e = voltageSource.find((d) => has(d, 'battery_voltage'));
      battery.push({ device: e.device, key: 'battery_voltage', label: 'Battery V', axis: 'y' });
    }
    for (const e of dc.filter((d) => has(d, 'state_of_charge'))) {
      battery.push({ device: e.device, key: 'state_of_charge', label: named(dc, e, 'SOC %'), axis: 'y2' });
    }
    const pv = [];
    for (const e of mx) {
      if (has(e, 'pv_power')) pv.push({ device: e.device, key: 'pv_power', label: named(mx, e, 'PV W') });
      if (has(e, 'charger_power')) {
        pv.push({ device: e.device, key: 'charger_power', label: named(mx, e, 'output W') });
      }
    }
    const currents = [];
    for (const e of fx) {
      if (has(e, 'inverter_current')) {
        currents.push({ device: e.device, key: 'inverter_current', label: named(fx, e, 'inverter A') });
      }
      if (has(e, 'charger_current')) {
        currents.push({ device: e.device, key: 'charger_current', label: named(fx, e, 'charger A') });
      }
    }
    return [
      { id: 'chart-battery', series: battery, y: 'V', y2: '%' },
      { id: 'chart-pv', series: pv, y: 'W' },
      { id: 'chart-currents', series: currents, y: 'A' },
    ];
  }

  // Series of [t, mean, min, max] on one time axis: rows [Date, [min, mean, max] | null, ...].
  function mergeSeries(seriesPoints) {
    const rows = new Map();
    seriesPoints.forEach((points, index) => {
      for (const p of points) {
        if (!Array.isArray(p) || p.length < 4 || !isNumber(p[0])) continue;
        let row = rows.get(p[0]);
        if (!row) {
          row = [new Date(p[0] * 1000), ...seriesPoints.map(() => null)];
          rows.set(p[0], row);
        }
        if (isNumber(p[1])) row[index + 1] = [p[2], p[1], p[3]];
      }
    });
    return [...rows.keys()].sort((a, b) => a - b).map((t) => rows.get(t));
  }

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
      try {
        applyDevice(JSON.parse(event.data));
      } catch (error) {
        // A malformed event is skipped; the next one carries the whole state again.
      }
    });
    source.addEventListener('status', (event) => {
      try {
        applyStatus(JSON.parse(event.data));
      } catch (error) {
        // As above.
      }
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
})();

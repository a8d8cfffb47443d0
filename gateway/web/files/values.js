// What the dashboard shows, worked out from the gateway's JSON alone: the devices'
// fields, number formats, the whole system's summary, the problems to raise, and which
// history series each chart draws. No page or network here.

// ---- What each kind of device shows: key, label, unit, decimals -------------------

export const KINDS = {
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
export const FAULT_MODES = new Set(['FX Error', 'AGS Error', 'Comm Error']);

// ---- Numbers, names and times ---------------------------------------------------

export const isNumber = (v) => typeof v === 'number' && Number.isFinite(v);

export function formatNumber(value, decimals) {
  if (!isNumber(value)) return '–';
  const options = decimals === undefined
    ? { maximumFractionDigits: 2 }
    : { minimumFractionDigits: decimals, maximumFractionDigits: decimals };
  return value.toLocaleString(undefined, options);
}

export function withUnit(value, unit, decimals) {
  if (!isNumber(value)) return '–';
  return `${formatNumber(value, decimals)} ${unit}`;
}

// Watts as W below 10 kW, else kW.
export function formatPower(watts) {
  if (!isNumber(watts)) return '–';
  if (Math.abs(watts) >= 10000) return withUnit(watts / 1000, 'kW', 1);
  return withUnit(Math.round(watts), 'W', 0);
}

export function deviceTitle(entry) {
  const kind = KINDS[entry.state && entry.state.type];
  const title = kind ? kind.title : entry.device;
  const port = entry.state && entry.state.port;
  return isNumber(port) && port > 0 ? `${title} (port ${port})` : title;
}

export function typeOf(entry) {
  if (entry.state && typeof entry.state.type === 'string') return entry.state.type;
  return entry.device.split('_')[0];
}

// "14:02:03" today, else the date as well.
export function formatTime(iso) {
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
export function summarize(entries) {
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
export function problemsOf(entries) {
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

// ---- Charts ------------------------------------------------------------------------

// Which keys each chart draws, from the devices known now.
export function chartPlans(entries) {
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
export function mergeSeries(seriesPoints) {
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

#!/usr/bin/env python3
"""Self-test of check_discovery.py: a clean dump passes, each known mistake is caught."""

import copy
import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_discovery  # noqa: E402

AVAILABILITY = [{"topic": "brivane/home/status"}, {"t": "brivane/home/0/availability"}]
GATEWAY = {
    "dev": {"ids": ["brivane_home"], "name": "Brivane gateway home", "mf": "Brivane"},
    "o": {"name": "brivane-gateway", "sw": "1.0.0"},
    "avty": [{"topic": "brivane/home/status"}],
    "avty_mode": "all",
    "cmps": {
        "bridge": {"p": "binary_sensor", "dev_cla": "connectivity", "name": "Bridge",
                   "uniq_id": "brivane_home_bridge", "stat_t": "brivane/home/status",
                   "pl_on": "online", "pl_off": "offline", "ent_cat": "diagnostic"},
    },
}
FX = {
    "device": {"identifiers": "brivane_home_0", "name": "FX 0", "manufacturer": "Brivane",
               "via_device": "brivane_home"},
    "origin": {"name": "brivane-gateway"},
    "availability": AVAILABILITY,
    "availability_mode": "all",
    "state_topic": "brivane/home/0/state",
    "components": {
        "ac_output_voltage": {"p": "sensor", "name": "AC output voltage",
                              "device_class": "voltage", "unit_of_measurement": "V",
                              "state_class": "measurement",
                              "unique_id": "brivane_home_0_ac_output_voltage",
                              "value_template": "{{ value_json.ac_output_voltage }}"},
        "daily_kwh": {"p": "sensor", "name": "Energy today", "dev_cla": "energy",
                      "unit_of_meas": "kWh", "stat_cla": "total_increasing",
                      "uniq_id": "brivane_home_0_daily_kwh",
                      "val_tpl": "{{ value_json['daily_kwh'] }}"},
        "soc": {"p": "sensor", "name": "State of charge", "device_class": "battery",
                "unit_of_measurement": "%", "state_class": "measurement",
                "unique_id": "brivane_home_0_soc", "sug_dsp_prc": 0,
                "value_template": "{{ value_json.soc }}"},
        "amp_hours": {"p": "sensor", "name": "Charge", "unit_of_measurement": "Ah",
                      "state_class": "total_increasing", "unique_id": "brivane_home_0_amp_hours",
                      "value_template": "{{ value_json.amp_hours }}"},
        "mode": {"p": "sensor", "name": "Mode", "device_class": "enum",
                 "options": ["inverting", "charging"], "unique_id": "brivane_home_0_mode",
                 "value_template": "{{ value_json.mode }}"},
        "error": {"p": "binary_sensor", "name": "Error", "device_class": "problem",
                  "unique_id": "brivane_home_0_error",
                  "value_template": "{{ 'ON' if value_json.errors else 'OFF' }}",
                  "json_attributes_topic": "brivane/home/0/state",
                  "json_attributes_template": "{{ {'errors': value_json.errors} | tojson }}"},
        "raw_mode": {"p": "sensor", "name": "Raw mode", "entity_category": "diagnostic",
                     "enabled_by_default": False, "unique_id": "brivane_home_0_raw_mode",
                     "value_template": "{{ value_json.raw_mode }}"},
    },
}
STATE = {"ac_output_voltage": 230, "daily_kwh": 1.5, "soc": 80, "amp_hours": 12,
         "mode": "inverting", "errors": [], "raw_mode": 2}


def dump(gateway=GATEWAY, fx=FX, state=STATE, extra=()):
    messages = [
        {"topic": "homeassistant/device/brivane_home/config", "payload": gateway,
         "retained": True},
        {"topic": "homeassistant/device/brivane_home_0/config", "payload": json.dumps(fx),
         "retained": True},
        {"topic": "brivane/home/status", "payload": "online", "retained": True},
        {"topic": "brivane/home/0/availability", "payload": "online", "retained": True},
        {"topic": "brivane/home/0/state", "payload": state, "retained": True},
    ]
    return [m for m in messages if m["payload"] is not None] + list(extra)


def faults_with(change):
    fx = copy.deepcopy(FX)
    gateway = copy.deepcopy(GATEWAY)
    state = copy.deepcopy(STATE)
    extra = change(fx, gateway, state) or ()
    return check_discovery.check(dump(gateway, fx, state, extra))


class CheckDiscoveryTest(unittest.TestCase):
    def test_clean_dump_passes(self):
        self.assertEqual(check_discovery.check(dump()), [])

    def test_each_mistake_is_caught(self):
        def set_key(path, value):
            def change(fx, gateway, state):
                target = fx
                for key in path[:-1]:
                    target = target[key]
                target[path[-1]] = value
            return change

        def drop_key(path):
            def change(fx, gateway, state):
                target = fx
                for key in path[:-1]:
                    target = target[key]
                del target[path[-1]]
            return change

        volts = ["components", "ac_output_voltage"]
        cases = {
            "not valid with device_class": set_key(volts + ["unit_of_measurement"], "A"),
            "impossible with device_class": set_key(["components", "daily_kwh", "stat_cla"],
                                                    "measurement"),
            "options exclude": set_key(["components", "mode", "unit_of_measurement"], "V"),
            "needs options": drop_key(["components", "mode", "options"]),
            "only with device_class 'enum'": set_key(["components", "soc", "options"], ["a"]),
            "'unit_of_measure' was unexpected": set_key(volts + ["unit_of_measure"], "V"),
            "given twice": set_key(volts + ["dev_cla"], "voltage"),
            "platform (p)": drop_key(volts + ["p"]),
            "'unique_id' is a required property": drop_key(volts + ["unique_id"]),
            "also used by": set_key(["components", "soc", "unique_id"],
                                    "brivane_home_0_ac_output_voltage"),
            "is the device itself": set_key(["device", "via_device"], "brivane_home_0"),
            "names no published device": set_key(["device", "via_device"], "brivane_away"),
            "object_id is no longer honoured": set_key(volts + ["obj_id"], "fx_volts"),
            "must be 'all'": set_key(["availability_mode"], "latest"),
            "'origin' is a required property": drop_key(["origin"]),
            "'mfr' was unexpected": set_key(["device", "mfr"], "x"),
            "which the state on": set_key(volts + ["value_template"], "{{ value_json.volts }}"),
            "repeats the device name": set_key(volts + ["name"], "FX 0 AC output voltage"),
            "outside 'brivane/'": set_key(["state_topic"], "other/home/0/state"),
            "nothing retained on state topic": set_key(["state_topic"], "brivane/home/9/state"),
            "is not one of ['diagnostic']": set_key(["components", "raw_mode", "entity_category"],
                                                 "config"),
        }
        for expected, change in cases.items():
            with self.subTest(expected=expected):
                faults = faults_with(change)
                self.assertTrue(any(expected in fault for fault in faults), faults)

        def unnamed_gateway(fx, gateway, state):
            gateway["dev"]["ids"] = ["brivane_home_0"]
        self.assertTrue(any("also names the device" in f for f in faults_with(unnamed_gateway)))

        def bad_topic(fx, gateway, state):
            return [{"topic": "homeassistant/device/brivane_my.home/config", "payload": gateway,
                     "retained": True}]
        self.assertTrue(any("outside [a-zA-Z0-9_-]" in f for f in faults_with(bad_topic)))

        def removed(fx, gateway, state):
            return [{"topic": "homeassistant/device/brivane_home_7/config", "payload": "",
                     "retained": True}]
        self.assertEqual(faults_with(removed), [])

    def test_command_line_exit_status(self):
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_discovery.py")
        bad = copy.deepcopy(FX)
        bad["components"]["soc"]["unit_of_measurement"] = "V"
        bad["components"]["soc"]["state_class"] = "total"
        with tempfile.TemporaryDirectory() as folder:
            for name, messages, status, lines in (("good", dump(), 0, 0),
                                                  ("bad", dump(fx=bad), 1, 2)):
                path = os.path.join(folder, name + ".jsonl")
                with open(path, "w", encoding="utf-8") as file:
                    file.writelines(json.dumps(m) + "\n" for m in messages)
                result = subprocess.run([sys.executable, script, path], capture_output=True,
                                        text=True, timeout=60, check=False)
                self.assertEqual(result.returncode, status, result.stdout + result.stderr)
                self.assertEqual(len(result.stdout.splitlines()), lines, result.stdout)
            result = subprocess.run([sys.executable, script], input="not json\n",
                                    capture_output=True, text=True, timeout=60, check=False)
            self.assertEqual(result.returncode, 2)


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""Checks a dump of retained MQTT messages against Home Assistant's discovery rules.

Input: JSON lines {"topic": "...", "payload": <object or string>, "retained": true}, one per
retained message under the discovery prefix and the topic prefix, from FILE or stdin.
Output: one line per fault; exit status 0 when clean, 1 with faults, 2 on unreadable input.

Home Assistant accepts unknown keys silently, so a misspelt key would never show there; this
checker refuses every key outside its tables (full and abbreviated names alike).
"""

import argparse
import json
import re
import sys

import jsonschema

# --- Tables -------------------------------------------------------------------------------

ENERGY_UNITS = ["J", "kJ", "MJ", "GJ", "mWh", "Wh", "kWh", "MWh", "GWh", "TWh",
                "cal", "kcal", "Mcal", "Gcal"]

# Sensor device_class -> (units accepted, state_classes accepted).
SENSOR_CLASSES = {
    "voltage": (["V", "mV", "\u00b5V", "\u03bcV", "kV", "MV"], ["measurement"]),
    "current": (["A", "mA"], ["measurement"]),
    "power": (["mW", "W", "kW", "MW", "GW", "TW"], ["measurement"]),
    "apparent_power": (["VA"], ["measurement"]),
    "frequency": (["Hz", "kHz", "MHz", "GHz"], ["measurement"]),
    "energy": (ENERGY_UNITS, ["total", "total_increasing"]),
    "energy_storage": (ENERGY_UNITS, ["measurement"]),
    "temperature": (["\u00b0C", "\u00b0F", "K"], ["measurement"]),
    "battery": (["%"], ["measurement"]),
}
STATE_CLASSES = ["measurement", "total", "total_increasing"]
BINARY_SENSOR_CLASSES = ["problem", "battery_charging", "power", "running", "connectivity"]

# Full name -> abbreviation, for entity configs and the shared root of a device config.
ABBREVIATIONS = {
    "availability": "avty",
    "availability_mode": "avty_mode",
    "availability_template": "avty_tpl",
    "availability_topic": "avty_t",
    "command_topic": "cmd_t",
    "components": "cmps",
    "device": "dev",
    "device_class": "dev_cla",
    "enabled_by_default": "en",
    "encoding": "e",
    "entity_category": "ent_cat",
    "entity_picture": "ent_pic",
    "expire_after": "exp_aft",
    "force_update": "frc_upd",
    "icon": "ic",
    "json_attributes_template": "json_attr_tpl",
    "json_attributes_topic": "json_attr_t",
    "last_reset_value_template": "lrst_val_tpl",
    "object_id": "obj_id",
    "off_delay": "off_dly",
    "options": "ops",
    "origin": "o",
    "payload_available": "pl_avail",
    "payload_not_available": "pl_not_avail",
    "payload_off": "pl_off",
    "payload_on": "pl_on",
    "platform": "p",
    "state_class": "stat_cla",
    "state_topic": "stat_t",
    "suggested_display_precision": "sug_dsp_prc",
    "unique_id": "uniq_id",
    "unit_of_measurement": "unit_of_meas",
    "value_template": "val_tpl",
}
DEVICE_ABBREVIATIONS = {
    "configuration_url": "cu",
    "connections": "cns",
    "hw_version": "hw",
    "identifiers": "ids",
    "manufacturer": "mf",
    "model": "mdl",
    "model_id": "mdl_id",
    "serial_number": "sn",
    "suggested_area": "sa",
    "sw_version": "sw",
}
ORIGIN_ABBREVIATIONS = {"sw_version": "sw", "support_url": "url"}
AVAILABILITY_ABBREVIATIONS = {
    "payload_available": "pl_avail",
    "payload_not_available": "pl_not_avail",
    "topic": "t",
    "value_template": "val_tpl",
}

_STRING = {"type": "string"}
_TEMPLATE = {"type": "string", "minLength": 1}
_TOPIC = {"type": "string", "minLength": 1}

AVAILABILITY_SCHEMA = {
    "type": "array",
    "minItems": 1,
    "items": {
        "type": "object",
        "additionalProperties": False,
        "required": ["topic"],
        "properties": {
            "topic": _TOPIC,
            "payload_available": _STRING,
            "payload_not_available": _STRING,
            "value_template": _TEMPLATE,
        },
    },
}
DEVICE_SCHEMA = {
    "type": "object",
    "additionalProperties": False,
    "anyOf": [{"required": ["identifiers"]}, {"required": ["connections"]}],
    "properties": {
        "identifiers": {"anyOf": [_STRING, {"type": "array", "minItems": 1, "items": _STRING}]},
        "connections": {"type": "array", "items": {"type": "array", "items": _STRING}},
        "name": _STRING,
        "manufacturer": _STRING,
        "model": _STRING,
        "model_id": _STRING,
        "serial_number": _STRING,
        "sw_version": _STRING,
        "hw_version": _STRING,
        "suggested_area": _STRING,
        "configuration_url": _STRING,
        "via_device": _STRING,
    },
}
ORIGIN_SCHEMA = {
    "type": "object",
    "additionalProperties": False,
    "required": ["name"],
    "properties": {"name": _STRING, "sw_version": _STRING, "support_url": _STRING},
}

# Keys every entity may carry, shared by sensor and binary_sensor.
_ENTITY_PROPERTIES = {
    "~": _STRING,
    "state_topic": _TOPIC,
    "unique_id": {"type": "string", "minLength": 1},
    "name": {"type": ["string", "null"]},
    "default_entity_id": _STRING,
    "value_template": _TEMPLATE,
    "entity_category": {"enum": ["diagnostic"]},
    "enabled_by_default": {"type": "boolean"},
    "expire_after": {"type": "integer", "minimum": 1},
    "force_update": {"type": "boolean"},
    "icon": _STRING,
    "entity_picture": _STRING,
    "json_attributes_topic": _TOPIC,
    "json_attributes_template": _TEMPLATE,
    "availability": AVAILABILITY_SCHEMA,
    "availability_mode": {"enum": ["latest", "all", "any"]},
    "availability_topic": _TOPIC,
    "availability_template": _TEMPLATE,
    "payload_available": _STRING,
    "payload_not_available": _STRING,
    "qos": {"enum": [0, 1, 2]},
    "encoding": _STRING,
}
_SENSOR_PROPERTIES = dict(_ENTITY_PROPERTIES, **{
    "device_class": {"enum": sorted(SENSOR_CLASSES) + ["enum"]},
    "unit_of_measurement": _STRING,
    "state_class": {"enum": STATE_CLASSES},
    "suggested_display_precision": {"type": "integer", "minimum": 0},
    "options": {"type": "array", "minItems": 1, "items": _STRING},
    "last_reset_value_template": _TEMPLATE,
})
_BINARY_SENSOR_PROPERTIES = dict(_ENTITY_PROPERTIES, **{
    "device_class": {"enum": BINARY_SENSOR_CLASSES},
    "payload_on": _STRING,
    "payload_off": _STRING,
    "off_delay": {"type": "integer", "minimum": 1},
})
ENTITY_PROPERTIES = {"sensor": _SENSOR_PROPERTIES, "binary_sensor": _BINARY_SENSOR_PROPERTIES}

# Keys the root of a device config may give to all its components.
SHARED_KEYS = ["availability", "availability_mode", "availability_topic",
               "availability_template", "payload_available", "payload_not_available",
               "state_topic", "command_topic", "qos", "encoding", "~"]

TOPIC_ID = re.compile(r"^[a-zA-Z0-9_-]+$")
VALUE_JSON_KEY = re.compile(r"value_json(?:\.([A-Za-z_][A-Za-z0-9_]*)|\[['\"]([^'\"]+)['\"]\])")


def entity_schema(component, in_device):
    properties = dict(ENTITY_PROPERTIES[component])
    if in_device:
        properties["platform"] = {"const": component}
    else:
        properties["device"] = DEVICE_SCHEMA
        properties["origin"] = ORIGIN_SCHEMA
    required = ["state_topic"] + (["unique_id", "platform"] if in_device else [])
    return {"type": "object", "additionalProperties": False, "required": required,
            "properties": properties}


DEVICE_ROOT_SCHEMA = {
    "type": "object",
    "additionalProperties": False,
    "required": ["device", "origin", "components"],
    "properties": dict({key: _ENTITY_PROPERTIES.get(key, _STRING) for key in SHARED_KEYS},
                       device=DEVICE_SCHEMA, origin=ORIGIN_SCHEMA,
                       components={"type": "object", "minProperties": 1}),
}


# --- Checks -------------------------------------------------------------------------------

def expand(block, abbreviations, where, faults):
    """The block with abbreviated keys written out; a key given both ways is a fault."""
    reverse = {short: full for full, short in abbreviations.items()}
    result = {}
    for key, value in block.items():
        full = reverse.get(key, key)
        if full in result:
            faults.append(f"{where}: '{full}' is given twice (full and abbreviated)")
        result[full] = value
    return result


def expand_config(config, where, faults):
    config = expand(config, ABBREVIATIONS, where, faults)
    if isinstance(config.get("device"), dict):
        config["device"] = expand(config["device"], DEVICE_ABBREVIATIONS, where + " dev", faults)
    if isinstance(config.get("origin"), dict):
        config["origin"] = expand(config["origin"], ORIGIN_ABBREVIATIONS, where + " o", faults)
    if isinstance(config.get("availability"), list):
        config["availability"] = [
            expand(item, AVAILABILITY_ABBREVIATIONS, where + " avty", faults)
            if isinstance(item, dict) else item
            for item in config["availability"]]
    return config


def schema_faults(instance, schema, where):
    validator = jsonschema.Draft7Validator(schema)
    faults = []
    for error in sorted(validator.iter_errors(instance), key=lambda e: list(e.path)):
        path = "/".join(str(p) for p in error.path)
        faults.append(f"{where}{' ' + path if path else ''}: {error.message}")
    return faults


def with_base(topic, base):
    """A topic with '~' at its start or end replaced by the base topic."""
    if base is None or not isinstance(topic, str):
        return topic
    if topic.startswith("~"):
        return base + topic[1:]
    if topic.endswith("~"):
        return topic[:-1] + base
    return topic


def identifiers(device):
    ids = device.get("identifiers", [])
    return [ids] if isinstance(ids, str) else list(ids)


def check_entity(component, entity, where, device, faults):
    """Rules beyond the key sets: class/unit/state_class pairs, enum options, availability."""
    device_class = entity.get("device_class")
    unit = entity.get("unit_of_measurement")
    state_class = entity.get("state_class")
    options = entity.get("options")
    if component == "sensor":
        if device_class in SENSOR_CLASSES:
            units, state_classes = SENSOR_CLASSES[device_class]
            if unit not in units:
                faults.append(f"{where}: unit {unit!r} is not valid with device_class "
                              f"{device_class!r} (accepted: {', '.join(units)})")
            if state_class is not None and state_class not in state_classes:
                faults.append(f"{where}: state_class {state_class!r} is impossible with "
                              f"device_class {device_class!r}")
        if device_class == "enum" and options is None:
            faults.append(f"{where}: device_class 'enum' needs options")
        if options is not None:
            if device_class not in (None, "enum"):
                faults.append(f"{where}: options go only with device_class 'enum'")
            if unit is not None or state_class is not None:
                faults.append(f"{where}: options exclude unit_of_measurement and state_class")
    if "object_id" in entity:
        faults.append(f"{where}: object_id is no longer honoured; leave it out")
    if "availability" in entity and "availability_topic" in entity:
        faults.append(f"{where}: availability and availability_topic exclude each other")
    if not isinstance(entity.get("availability"), list):
        faults.append(f"{where}: no availability list")
    elif entity.get("availability_mode") != "all":
        faults.append(f"{where}: availability_mode must be 'all'")
    name = entity.get("name")
    device_name = (device or {}).get("name")
    if isinstance(name, str) and isinstance(device_name, str) and device_name and \
            name.lower().startswith(device_name.lower()):
        faults.append(f"{where}: entity name {name!r} repeats the device name")


def check_topics(entity, where, retained, topic_prefix, faults):
    """State and availability topics exist among the retained messages and fit the values."""
    base = entity.get("~")
    state_topic = with_base(entity.get("state_topic"), base)
    for topic in [state_topic] + [with_base(a.get("topic"), base)
                                  for a in entity.get("availability", [])
                                  if isinstance(a, dict)]:
        if isinstance(topic, str) and not topic.startswith(topic_prefix + "/"):
            faults.append(f"{where}: topic {topic!r} is outside '{topic_prefix}/'")
    if state_topic not in retained:
        faults.append(f"{where}: nothing retained on state topic {state_topic!r}")
    else:
        state = retained[state_topic]
        template = entity.get("value_template", "")
        for match in VALUE_JSON_KEY.finditer(template if isinstance(template, str) else ""):
            key = match.group(1) or match.group(2)
            if not isinstance(state, dict) or key not in state:
                faults.append(f"{where}: value_template reads {key!r}, "
                              f"which the state on {state_topic!r} lacks")
    for item in entity.get("availability", []):
        if not isinstance(item, dict):
            continue
        topic = with_base(item.get("topic"), base)
        allowed = {item.get("payload_available", "online"),
                   item.get("payload_not_available", "offline")}
        if topic not in retained:
            faults.append(f"{where}: nothing retained on availability topic {topic!r}")
        elif retained[topic] not in allowed:
            faults.append(f"{where}: availability topic {topic!r} holds {retained[topic]!r}")


def parse_payload(payload):
    if isinstance(payload, str) and payload.strip().startswith("{"):
        try:
            return json.loads(payload)
        except json.JSONDecodeError:
            return payload
    return payload


def check(messages, discovery_prefix="homeassistant", topic_prefix="brivane", state_check=True):
    """Every fault found in the messages, one line each."""
    faults = []
    retained = {}
    configs = []  # (topic, kind, expanded payload)
    for message in messages:
        topic = message.get("topic")
        payload = parse_payload(message.get("payload"))
        if not isinstance(topic, str):
            faults.append(f"line without a topic: {message!r}")
            continue
        retained[topic] = payload
        parts = topic.split("/")
        prefix_parts = discovery_prefix.split("/")
        if parts[:len(prefix_parts)] != prefix_parts or parts[-1] != "config":
            continue
        ids = parts[len(prefix_parts):-1]
        if payload == "" or payload is None:
            continue  # an empty payload removes the item
        if message.get("retained") is False:
            faults.append(f"{topic}: discovery config is not retained")
        if len(ids) not in (2, 3):
            faults.append(f"{topic}: not <prefix>/<component>/[<node_id>/]<object_id>/config")
            continue
        kind = ids[0]
        for part in ids[1:]:
            if not TOPIC_ID.match(part):
                faults.append(f"{topic}: {part!r} has characters outside [a-zA-Z0-9_-]")
        if kind not in ("device", "sensor", "binary_sensor"):
            faults.append(f"{topic}: component {kind!r} is not one this gateway publishes")
            continue
        if not isinstance(payload, dict):
            faults.append(f"{topic}: payload is not a JSON object")
            continue
        configs.append((topic, kind, expand_config(payload, topic, faults)))

    unique_ids = {}
    device_ids = {}  # identifier -> topic of the device config that owns it
    vias = []  # (topic, via_device, own identifiers)
    for topic, kind, config in configs:
        device = config.get("device") if isinstance(config.get("device"), dict) else None
        if kind == "device":
            faults.extend(schema_faults(config, DEVICE_ROOT_SCHEMA, topic))
            entities = []
            components = config.get("components")
            shared = {key: config[key] for key in SHARED_KEYS if key in config}
            for cid, component in (components.items() if isinstance(components, dict) else []):
                where = f"{topic} [{cid}]"
                if not TOPIC_ID.match(cid):
                    faults.append(f"{where}: component id has characters outside [a-zA-Z0-9_-]")
                if not isinstance(component, dict):
                    faults.append(f"{where}: not a JSON object")
                    continue
                component = expand_config(component, where, faults)
                platform = component.get("platform")
                if platform not in ENTITY_PROPERTIES:
                    faults.append(f"{where}: platform (p) {platform!r} is missing or not "
                                  f"one of {', '.join(ENTITY_PROPERTIES)}")
                    continue
                if set(component) == {"platform"}:
                    continue  # removal of this component
                entity = dict(shared, **component)
                faults.extend(schema_faults(entity, entity_schema(platform, True), where))
                entities.append((platform, entity, where))
            if device is not None:
                for identifier in identifiers(device):
                    if identifier in device_ids and device_ids[identifier] != topic:
                        faults.append(f"{topic}: device identifier {identifier!r} also names "
                                      f"the device of {device_ids[identifier]}")
                    device_ids.setdefault(identifier, topic)
        else:
            where = topic
            if "platform" in config:
                faults.append(f"{where}: platform (p) belongs only to device-based discovery")
                config = {k: v for k, v in config.items() if k != "platform"}
            faults.extend(schema_faults(config, entity_schema(kind, False), where))
            entities = [(kind, config, where)]
            if device is not None:
                for identifier in identifiers(device):
                    device_ids.setdefault(identifier, topic)
        if device is not None and "via_device" in device:
            vias.append((topic, device["via_device"], identifiers(device)))
        for platform, entity, where in entities:
            check_entity(platform, entity, where, device, faults)
            if state_check:
                check_topics(entity, where, retained, topic_prefix, faults)
            unique_id = entity.get("unique_id")
            if isinstance(unique_id, str):
                if unique_id in unique_ids:
                    faults.append(f"{where}: unique_id {unique_id!r} is also used by "
                                  f"{unique_ids[unique_id]}")
                else:
                    unique_ids[unique_id] = where

    for topic, via, own in vias:
        if via in own:
            faults.append(f"{topic}: via_device {via!r} is the device itself")
        elif via not in device_ids:
            faults.append(f"{topic}: via_device {via!r} names no published device")
    return faults


def read_messages(stream):
    messages = []
    for number, line in enumerate(stream, 1):
        if not line.strip():
            continue
        try:
            message = json.loads(line)
        except json.JSONDecodeError as error:
            raise ValueError(f"line {number}: not JSON ({error})") from error
        if not isinstance(message, dict):
            raise ValueError(f"line {number}: not a JSON object")
        messages.append(message)
    return messages


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file", nargs="?", help="JSON lines (default: stdin)")
    parser.add_argument("--discovery-prefix", default="homeassistant")
    parser.add_argument("--topic-prefix", default="brivane")
    parser.add_argument("--no-state-check", action="store_true",
                        help="do not look for the state and availability topics in the input")
    args = parser.parse_args(argv)
    try:
        if args.file:
            with open(args.file, encoding="utf-8") as stream:
                messages = read_messages(stream)
        else:
            messages = read_messages(sys.stdin)
    except (OSError, ValueError) as error:
        print(f"check_discovery: {error}", file=sys.stderr)
        return 2
    configs = sum(1 for m in messages
                  if str(m.get("topic", "")).startswith(args.discovery_prefix + "/")
                  and str(m.get("topic", "")).endswith("/config"))
    if configs == 0:
        print(f"check_discovery: no discovery config under '{args.discovery_prefix}/'")
        return 1
    faults = check(messages, args.discovery_prefix, args.topic_prefix,
                   not args.no_state_check)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())

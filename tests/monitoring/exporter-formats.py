#!/usr/bin/env python3
"""The exporter's two configuration formats.

check NEW        NEW follows the format of the exporter 0.23 and later, as its documentation
                 and configuration code define it; prints each departure and exits 1.
to-0.21 NEW      NEW turned back into the 0.21 format: one module per auth, named after it.
equal A B        A and B hold the same YAML data.
"""
import sys

import yaml

# Written from the upstream exporter's configuration reference (0.23 and later), not imported.
TOP = {"auths", "modules"}
AUTH = {"community", "security_level", "username", "password", "auth_protocol",
        "priv_protocol", "priv_password", "context_name", "version"}
MODULE = {"walk", "get", "metrics", "max_repetitions", "retries", "timeout",
          "use_unconnected_udp_socket", "allow_nonincreasing_oids", "filters"}
METRIC = {"name", "oid", "type", "help", "indexes", "lookups", "regex_extracts",
          "datetime_pattern", "enum_values", "offset", "scale", "display_hint"}
INDEX = {"labelname", "type", "fixed_size", "implied", "enum_values"}
LOOKUP = {"labels", "labelname", "oid", "type", "display_hint", "enum_values"}
SECURITY_LEVELS = {"noAuthNoPriv", "authNoPriv", "authPriv"}
AUTH_PROTOCOLS = {"MD5", "SHA", "SHA224", "SHA256", "SHA384", "SHA512"}
PRIV_PROTOCOLS = {"DES", "AES", "AES192", "AES256", "AES192C", "AES256C"}
TYPES = {"gauge", "counter", "OctetString", "DateAndTime", "DisplayString", "PhysAddress48",
         "Float", "Double", "InetAddressIPv4", "InetAddressIPv6", "InetAddress",
         "InetAddressMissingSize", "EnumAsInfo", "EnumAsStateSet", "Bits",
         "ParseDateAndTime", "NTPTimeStamp"}


def check(config):
    problems = []

    def keys(where, mapping, allowed):
        if not isinstance(mapping, dict):
            problems.append(f"{where}: not a mapping")
            return {}
        problems.extend(f"{where}: unknown key {key}" for key in sorted(set(mapping) - allowed))
        return mapping

    config = keys("top level", config, TOP)
    if not config.get("auths") or not config.get("modules"):
        problems.append("top level: auths and modules are both required")
    for name, auth in keys("auths", config.get("auths") or {}, set(config.get("auths") or {})).items():
        auth = keys(f"auth {name}", auth, AUTH)
        version = auth.get("version", 2)
        if version not in (1, 2, 3):
            problems.append(f"auth {name}: version {version} is not 1, 2 or 3")
        if version == 3:
            level = auth.get("security_level", "noAuthNoPriv")
            if level not in SECURITY_LEVELS:
                problems.append(f"auth {name}: security_level {level}")
            if not auth.get("username"):
                problems.append(f"auth {name}: SNMPv3 needs a username")
            if level != "noAuthNoPriv" and (not auth.get("password")
                                            or auth.get("auth_protocol", "MD5") not in AUTH_PROTOCOLS):
                problems.append(f"auth {name}: {level} needs a password and a known auth_protocol")
            if level == "authPriv" and (not auth.get("priv_password")
                                        or auth.get("priv_protocol", "DES") not in PRIV_PROTOCOLS):
                problems.append(f"auth {name}: authPriv needs a priv_password and a known priv_protocol")
    for name, module in (config.get("modules") or {}).items():
        module = keys(f"module {name}", module, MODULE)
        for metric in module.get("metrics") or []:
            where = f"module {name}, metric {metric.get('name')}"
            metric = keys(where, metric, METRIC)
            if metric.get("type") not in TYPES:
                problems.append(f"{where}: type {metric.get('type')}")
            for index in metric.get("indexes") or []:
                keys(f"{where}, index", index, INDEX)
            for lookup in metric.get("lookups") or []:
                keys(f"{where}, lookup", lookup, LOOKUP)
    return problems


def to_021(config):
    old = {}
    for auth_name, auth in config["auths"].items():
        for module in config["modules"].values():
            entry = dict(module)
            entry["version"] = auth.get("version", 2)
            entry["auth"] = {key: value for key, value in auth.items() if key != "version"}
            old[auth_name] = entry
    return old


def load(path):
    with open(path, encoding="utf-8") as file:
        return yaml.safe_load(file)


def main(argv):
    if len(argv) == 3 and argv[1] == "check":
        problems = check(load(argv[2]))
        for problem in problems:
            print(f"{argv[2]}: {problem}", file=sys.stderr)
        return 1 if problems else 0
    if len(argv) == 3 and argv[1] == "to-0.21":
        config = load(argv[2])
        if len(config["modules"]) != 1:
            print("to-0.21 takes a file with one module", file=sys.stderr)
            return 1
        yaml.safe_dump(to_021(config), sys.stdout, sort_keys=False)
        return 0
    if len(argv) == 4 and argv[1] == "equal":
        if load(argv[2]) == load(argv[3]):
            return 0
        print(f"{argv[2]} and {argv[3]} differ", file=sys.stderr)
        return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))

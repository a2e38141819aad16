#!/usr/bin/env python3
"""A till that reaches the device through kovrad-hub over HTTP.

usage: till.py [TILL_NUMBER]    KOVRAD_HUB_URL names the hub (default http://127.0.0.1:8080)
Exit status 0 when the device answers 08000 and 10000.
"""
import json, os, sys, time, urllib.error, urllib.parse, urllib.request

HUB = os.environ.get("KOVRAD_HUB_URL", "http://127.0.0.1:8080")
TILL = sys.argv[1] if len(sys.argv) > 1 else "1"


def call(function, **fields):
    body = urllib.parse.urlencode(dict(fields, numero_caixa=TILL)).encode()
    pause = 1
    for attempt in range(5):
        try:
            with urllib.request.urlopen(f"{HUB}/hub/v1/{function}", body, timeout=60) as response:
                reply = json.load(response)["retorno"]
                print(f"{function}: {reply}")
                return reply.split("|")[1] if "|" in reply else ""
        except urllib.error.HTTPError as refusal:
            print(f"{function}: the hub refused: {refusal.read().decode()}")
            return ""
        except OSError:
            time.sleep(pause)  # the hub is restarting or the network is down: wait longer each time
            pause *= 2
    print(f"{function}: no answer from {HUB}")
    return ""


ok = call("consultarsat") == "08000"
ok = call("consultarstatusoperacional") == "10000" and ok
sys.exit(0 if ok else 1)

#!/usr/bin/env python3
"""Asks the device whether it is working, through libkovrad loaded with ctypes.

usage: status.py [ACTIVATION_CODE]    exit status 0 when the device answers 08000 and 10000
"""
import ctypes
import sys


class CommError(ctypes.Structure):
    _fields_ = [("code", ctypes.c_int32), ("msg", ctypes.c_char * 800)]


sat = ctypes.CDLL("libkovrad.so.2")
sat.GeraNumeroSessao.restype = ctypes.c_int32
sat.CodigoErro.restype = CommError
for name, args in (("ConsultarSAT", [ctypes.c_int32]),
                   ("ConsultarStatusOperacional", [ctypes.c_int32, ctypes.c_char_p])):
    getattr(sat, name).restype = ctypes.c_char_p
    getattr(sat, name).argtypes = args


def ask(name, *args):
    # The library's texts are Windows-1252.
    reply = getattr(sat, name)(sat.GeraNumeroSessao(), *args).decode("cp1252")
    print(f"{name}: {reply}")
    link = sat.CodigoErro().code
    if link != 0:
        print(f"{name}: no reply from the device (link error {link})")
        return ""
    return reply.split("|")[1] if "|" in reply else ""


code = (sys.argv[1] if len(sys.argv) > 1 else "12345678").encode()
ok = ask("ConsultarSAT") == "08000"
ok = ask("ConsultarStatusOperacional", code) == "10000" and ok
sys.exit(0 if ok else 1)

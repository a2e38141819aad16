#!/bin/sh
# Asks the device whether it is working, with satcli: its exit status is 0 for
# the function's success code, so a script can test it directly.
set -e
code=${1:-12345678}
satcli ConsultarSAT
satcli ConsultarStatusOperacional --codigo "$code"

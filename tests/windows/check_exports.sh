#!/usr/bin/env bash
# kovrad.dll exports every function by its plain name and needs no DLL beyond
# the system's.
set -euo pipefail
dll=$1
objdump=${2:-i686-w64-mingw32-objdump}
dump=$("$objdump" -p "$dll")

names=(AbreSerialSAT ArquivoLog AssociarAssinatura AtivarSAT AtualizarSoftwareSAT Base64ToAscii
  BloquearSAT CancelarUltimaVenda CloseSerial CodigoErro ComunicarCertificadoICPBRASIL
  ConfiguraTimeout ConfigurarInterfaceDeRede ConsultarNumeroSessao ConsultarSAT
  ConsultarStatusOperacional DesbloquearSAT EnviarDadosVenda ExtrairLogs GeraNumeroSessao
  GetMapaPortasSAT GetPortaSAT SetPortaSAT TesteFimAFim TrocarCodigoDeAtivacao VersaoLib)

exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/.*\] //p')
passed=0 failed=0
for name in "${names[@]}"; do
  if grep -qx "$name" <<<"$exports"; then passed=$((passed + 1)); else
    echo "missing export: $name"; failed=$((failed + 1)); fi
done
if grep -q '@' <<<"$exports"; then
  echo "decorated exports:"; grep '@' <<<"$exports"; failed=$((failed + 1))
else passed=$((passed + 1)); fi

# Only system DLLs may be imported: no MinGW runtime, no zlib1.dll.
while read -r dll_name; do
  case "${dll_name,,}" in
    kernel32.dll|msvcrt.dll|setupapi.dll|advapi32.dll|user32.dll|api-ms-win-*) ;;
    *) echo "imports a non-system DLL: $dll_name"; failed=$((failed + 1)) ;;
  esac
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$dump")

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]

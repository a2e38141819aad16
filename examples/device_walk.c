/*
 * device_walk: a new SAT device's life, step by step, through libkovrad.
 *
 * Queries the device, configures its network, activates it, associates the
 * point-of-sale program's signature, locks and unlocks it, changes its
 * activation code and reads its event log, printing every reply. Each call
 * takes a session number first and returns the device's reply line; after
 * the call, CodigoErro() says whether the link worked.
 *
 * The device is found on USB (or where KOVRAD_DEV_DIR and KOVRAD_SYSFS_DIR
 * point, as with satemu). Exit status 1 when a step had another result.
 */
#include <stdio.h>
#include <string.h>

#include "kovrad.h"

/* A device fresh from the factory answers status, network and log requests
 * to this code. */
#define FACTORY_CODE "24681357"
#define FIRST_CODE "12345678"
#define NEW_CODE "23456789"

/* The public identities of the SAT-CF-e test environment. */
#define TAXPAYER_CNPJ "08723218000186"
#define SOFTWARE_HOUSE_CNPJ "16716114000172"
#define SIGNATURE "SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT"
#define STATE_SP 35

static const char kNetwork[] =
    "<?xml version=\"1.0\"?>\n"
    "<config><tipoInter>ETHE</tipoInter><tipoLan>DHCP</tipoLan><usuario></usuario>"
    "<senha></senha><proxy>0</proxy><proxy_ip/><proxy_porta/><proxy_user/><proxy_senha/>"
    "</config>\n";

static int failures = 0;

/* Prints a step's reply and checks its result code, the reply's second field. */
static void Show(const char* step, const char* reply, const char* expected) {
  char result[16] = "";
  const char* bar = strchr(reply, '|');
  COMM_ERROR link = CodigoErro();

  if (bar != NULL) sscanf(bar + 1, "%15[^|]", result);
  printf("== %s\n%s\n", step, reply);
  if (link.code != __NOERROR__) printf("   link error 0x%04X\n", (unsigned)link.code);
  if (strcmp(result, expected) != 0) {
    printf("   (expected result %s)\n", expected);
    ++failures;
  }
}

int main(void) {
  Show("ConsultarSAT: is the device there?", ConsultarSAT(GeraNumeroSessao()), "08000");
  Show("ConsultarStatusOperacional with the factory code",
       ConsultarStatusOperacional(GeraNumeroSessao(), FACTORY_CODE), "10000");
  Show("ConfigurarInterfaceDeRede: DHCP, no proxy",
       ConfigurarInterfaceDeRede(GeraNumeroSessao(), FACTORY_CODE, kNetwork), "12000");
  Show("AtivarSAT: activate for the taxpayer",
       AtivarSAT(GeraNumeroSessao(), 1, FIRST_CODE, TAXPAYER_CNPJ, STATE_SP), "04000");
  Show("AssociarAssinatura: bind the point-of-sale program",
       AssociarAssinatura(GeraNumeroSessao(), FIRST_CODE, SOFTWARE_HOUSE_CNPJ TAXPAYER_CNPJ,
                          SIGNATURE),
       "13000");
  Show("BloquearSAT", BloquearSAT(GeraNumeroSessao(), FIRST_CODE), "16000");
  Show("ConsultarStatusOperacional: the last field is now 2, locked by the taxpayer",
       ConsultarStatusOperacional(GeraNumeroSessao(), FIRST_CODE), "10000");
  Show("DesbloquearSAT", DesbloquearSAT(GeraNumeroSessao(), FIRST_CODE), "17000");
  Show("TrocarCodigoDeAtivacao: option 1, the current code",
       TrocarCodigoDeAtivacao(GeraNumeroSessao(), FIRST_CODE, 1, NEW_CODE, NEW_CODE), "18000");
  Show("ConsultarStatusOperacional with the old code: refused",
       ConsultarStatusOperacional(GeraNumeroSessao(), FIRST_CODE), "10001");
  Show("ExtrairLogs: the device's event log, in Base64", ExtrairLogs(GeraNumeroSessao(), NEW_CODE),
       "15000");
  /* The log decoded from that reply; it replaces the reply text. */
  printf("== Base64ToAscii: the log\n%s\n", Base64ToAscii());

  printf("%s\n", failures == 0 ? "walk complete" : "walk complete, with unexpected results");
  return failures == 0 ? 0 : 1;
}

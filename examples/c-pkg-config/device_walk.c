/*
 * device_walk: a new SAT device's life, step by step, through libkovrad.
 *
 * Queries the device, configures its network, activates it, associates the
 * point-of-sale program's signature, locks and unlocks it, changes its
 * activation code and reads its event log, printing every reply. Each call
 * takes a session number first and returns the device's reply line; after
 * the call, CodigoErro() says whether the link worked.
 *
 *   device_walk [SALE CANCELLATION OUTDIR]
 *
 * With the three arguments it goes on to sell with the sale document in
 * SALE, then cancels that sale with the cancellation document in
 * CANCELLATION (its quoted "CFe..." placeholder replaced by the sale's key),
 * and saves both signed coupons in OUTDIR as cfe-venda.xml and
 * cfe-cancelamento.xml.
 *
 * The device is found on USB (or where KOVRAD_DEV_DIR and KOVRAD_SYSFS_DIR
 * point, as with satemu). Exit status 1 when a step had another result.
 */
#include <stdio.h>
#include <stdlib.h>
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

/* An access key: "CFe" and 44 digits. */
#define KEY_LENGTH 47
/* Replies longer than this are shown cut, with their length. */
#define SHOWN 240

static int failures = 0;

/* Prints a step's reply and checks its result code, the reply's second field. */
static void Show(const char* step, const char* reply, const char* expected) {
  char result[16] = "";
  const char* bar = strchr(reply, '|');
  COMM_ERROR link = CodigoErro();
  size_t length = strlen(reply);

  if (bar != NULL) sscanf(bar + 1, "%15[^|]", result);
  if (length > SHOWN) {
    printf("== %s\n%.*s... (%lu characters)\n", step, SHOWN, reply, (unsigned long)length);
  } else {
    printf("== %s\n%s\n", step, reply);
  }
  if (link.code != __NOERROR__) printf("   link error 0x%04X\n", (unsigned)link.code);
  if (strcmp(result, expected) != 0) {
    printf("   (expected result %s)\n", expected);
    ++failures;
  }
}

/* The whole of a file as text; NULL when it cannot be read. */
static char* ReadText(const char* path) {
  FILE* in = fopen(path, "rb");
  char* text = NULL;
  long size;

  if (in == NULL) return NULL;
  if (fseek(in, 0, SEEK_END) == 0 && (size = ftell(in)) >= 0 && fseek(in, 0, SEEK_SET) == 0 &&
      (text = malloc((size_t)size + 1)) != NULL) {
    size = (long)fread(text, 1, (size_t)size, in);
    text[size] = '\0';
  }
  fclose(in);
  return text;
}

/* Writes `length` bytes of `text` to DIR/NAME; 0 when it cannot. */
static int Save(const char* dir, const char* name, const char* text, size_t length) {
  char path[4096];
  FILE* out;
  int saved;

  if (snprintf(path, sizeof path, "%s/%s", dir, name) >= (int)sizeof path) return 0;
  out = fopen(path, "wb");
  if (out == NULL) return 0;
  saved = fwrite(text, 1, length, out) == length;
  saved = fclose(out) == 0 && saved;
  if (saved) printf("   saved %s\n", path);
  return saved;
}

/* Sells with the document in `sale_file`, then cancels that sale with the
 * document in `cancellation_file`, saving both coupons in `dir`. */
static void SellAndCancel(const char* code, const char* sale_file, const char* cancellation_file,
                          const char* dir) {
  char key[KEY_LENGTH + 1] = "";
  char* sale = ReadText(sale_file);
  char* cancellation = ReadText(cancellation_file);
  const char* reply;
  const char* found;
  const char* coupon;
  char* placeholder;

  if (sale == NULL || cancellation == NULL) {
    printf("== cannot read %s or %s\n", sale_file, cancellation_file);
    ++failures;
    free(sale);
    free(cancellation);
    return;
  }
  reply = EnviarDadosVenda(GeraNumeroSessao(), code, sale);
  Show("EnviarDadosVenda: a sale of four items, the device signs its coupon", reply, "06000");
  /* The sale's key: from the first "CFe" of the reply to the "|" after it. */
  found = strstr(reply, "CFe");
  if (found != NULL && strcspn(found, "|") == KEY_LENGTH) memcpy(key, found, KEY_LENGTH);
  printf("   key %s\n", key);
  /* The signed coupon, decoded from the reply; it ends at "</CFe>". */
  coupon = Base64ToAscii();
  if (!Save(dir, "cfe-venda.xml", coupon, strlen(coupon))) ++failures;

  /* The cancellation document names the sale in a quoted "CFe..." value. */
  placeholder = strstr(cancellation, "\"CFe");
  if (placeholder != NULL && strlen(placeholder + 1) >= KEY_LENGTH && key[0] != '\0') {
    memcpy(placeholder + 1, key, KEY_LENGTH);
  }
  reply = CancelarUltimaVenda(GeraNumeroSessao(), code, key, cancellation);
  Show("CancelarUltimaVenda: cancel that sale", reply, "07000");
  /* The decoded text runs on past the cancellation coupon's closing tag. */
  coupon = Base64ToAscii();
  found = strstr(coupon, "</CFeCanc>");
  if (found == NULL ||
      !Save(dir, "cfe-cancelamento.xml", coupon, (size_t)(found - coupon) + strlen("</CFeCanc>"))) {
    ++failures;
  }
  free(sale);
  free(cancellation);
}

int main(int argc, char** argv) {
  if (argc != 1 && argc != 4) {
    fprintf(stderr, "usage: device_walk [SALE CANCELLATION OUTDIR]\n");
    return 2;
  }
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
  if (argc == 4) SellAndCancel(NEW_CODE, argv[1], argv[2], argv[3]);

  printf("%s\n", failures == 0 ? "walk complete" : "walk complete, with unexpected results");
  return failures == 0 ? 0 : 1;
}

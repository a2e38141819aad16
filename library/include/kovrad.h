/*
 * kovrad: device library for the SAT fiscal device (SAT-CF-e).
 *
 * This header is the integrator's manual: every export is described where it
 * is declared.
 *
 * Calling a SAT function
 *   Every SAT function takes a session number first and returns the device's
 *   reply as one line of "|"-separated fields: field 1 the session number,
 *   field 2 the result code ("06000"), then the function's own fields. The
 *   library opens the device's port, sends the request, waits for the reply
 *   within the function's fixed time limit, closes the port and returns.
 *
 * Ownership
 *   A returned text lives in a library buffer: copy what you keep, free
 *   nothing. It stays valid until the same thread calls into the library
 *   again. Each thread has a reply buffer of its own; the link error record
 *   (CodigoErro) and the decoded document (Base64ToAscii) are shared by the
 *   whole process and belong to the last call of any thread.
 *
 * Threads
 *   Calls from several threads take turns: every export holds one library
 *   lock while it runs, so a call may wait for another thread's call to end
 *   (up to that function's time limit). A thread that needs CodigoErro or
 *   Base64ToAscii to match its own last call must keep other threads from
 *   calling in between.
 *
 * Session numbers
 *   Written as six digits at the head of each request; the device keeps the
 *   reply of each recent session and hands it back through
 *   ConsultarNumeroSessao. The SAT-CF-e standard forbids a point-of-sale
 *   program to repeat any of its last 100 session numbers. GeraNumeroSessao
 *   draws the same sequence in every new process: a program that runs as
 *   short processes must keep its recent numbers itself.
 *
 * Errors
 *   Two channels report each call's outcome:
 *   1. The link: CodigoErro().code is __NOERROR__ when a reply was received,
 *      otherwise a link error code below. The library then writes the reply
 *      line itself, "<session>|9999|<message>" (after a time-out or a failed
 *      write), or the bare text "Erro ao tentar abrir a porta" when the port
 *      could not be opened (__NOCONNECT__), so a caller that reads field 2
 *      finds 9999 (or nothing) and never a device's code.
 *   2. The device: with code __NOERROR__, field 2 of the reply is the
 *      device's result code: the function's success code (below) or one of
 *      its refusals, which the SAT-CF-e standard lists per function.
 *   After a time-out of EnviarDadosVenda or CancelarUltimaVenda the device
 *   may still have made the sale: do not send it again; ask
 *   ConsultarNumeroSessao with the same session number (see there).
 *   The reason the operating system gave for a failed port ("/dev/ttyACM0:
 *   Permission denied", "held by another program") goes to the diagnostic log
 *   and, with KOVRAD_DEBUG set, to standard error.
 *
 * Lines on standard output
 *   The library writes these lines to the process's standard output (file
 *   descriptor 1) and nowhere else:
 *     "Port: <port>   Serial number: <serial>\n"  when it finds or tries a
 *         device on USB (first use without AbreSerialSAT, discovery exports)
 *     "BUG: Pacote excesivamente grande ser\xE1 truncado: <L> bytes"
 *         when a reply text longer than 2,097,152 bytes is cut to that size
 *     "Codigo Controle n\xE3o reconhecido <code>"  for a reply frame whose
 *         control code the library does not know
 *   (Windows-1252 bytes, the last two without a line break.) A host program
 *   whose own standard output must stay clean (JSON, a protocol) points
 *   descriptor 1 elsewhere before calling: keep a copy with dup(1) for its
 *   own output and dup2() standard error (or a log file) onto 1.
 *
 * Texts are NUL-terminated 8-bit texts passed through byte for byte; the
 * library's own texts (messages, log lines, banner) are Windows-1252 bytes.
 */
#ifndef KOVRAD_H
#define KOVRAD_H

#include <stdint.h>

#if defined(_WIN32)
#define KOVRAD_CALL __stdcall
#if defined(KOVRAD_BUILDING)
#define KOVRAD_API __declspec(dllexport)
#else
#define KOVRAD_API __declspec(dllimport)
#endif
#else
#define KOVRAD_CALL
#define KOVRAD_API __attribute__((visibility("default")))
#endif

/* The library's version (the shared object is libkovrad.so.<MAJOR>). */
#define KOVRAD_VERSION_MAJOR 2
#define KOVRAD_VERSION_MINOR 0
#define KOVRAD_VERSION_PATCH 10

#ifdef __cplusplus
extern "C" {
#endif

/* Link error codes, found in COMM_ERROR.code (see "Errors" above). */
#define __NOERROR__ 0x0000     /* the port opened; a reply was received */
#define __NOCONNECT__ 0x0001   /* no port selected or found, or it could not be opened */
#define __CMDUNKERROR__ 0x0004 /* shared vocabulary; never set by the library */
#define __TIMEOUT__ 0x8000     /* no complete reply within the time limit */
#define __SEMCTS__ 0x8001      /* writing the request to the port failed */

/* The link error record: the outcome of the last exchange, or the result
 * message ("Codigo: <code>.\n<message>") that the SAT function composed. */
typedef struct COMM_ERROR {
  int32_t code;
  char msg[800];
} COMM_ERROR;

/* ---- Link error, session numbers, time limits ---- */

/* A copy of the link error record; reading it changes nothing. */
KOVRAD_API COMM_ERROR KOVRAD_CALL CodigoErro(void);
/* A fresh session number, never one of the last 100 handed out. The
 * generator is the library's own: every process draws the same sequence. */
KOVRAD_API int32_t KOVRAD_CALL GeraNumeroSessao(void);
/* Accepted and ignored: each SAT function has its own fixed time limit. */
KOVRAD_API int32_t KOVRAD_CALL ConfiguraTimeout(int32_t milissegundos);

/* ---- Port ---- */

/* Selects port ttyACM<porta> (COM<porta> on Windows) for the next exchanges and
 * returns 0. Opens nothing; the four further arguments are ignored. A
 * negative port number, or one whose name does not fit 9 characters, is
 * refused with -1 and CodigoErro().code __NOCONNECT__, and then no port is
 * chosen: every exchange fails with __NOCONNECT__ (no search on USB either)
 * until a valid port is selected or a discovery export chooses one. */
KOVRAD_API int32_t KOVRAD_CALL AbreSerialSAT(int32_t porta, int32_t a, int32_t b, int32_t c,
                                             int32_t d);
/* Closes the port if it is open; non-zero when a port was closed. */
KOVRAD_API int32_t KOVRAD_CALL CloseSerial(void);

/* ---- Discovery ---- */

/* Finds the first SAT device on USB, selects its port, queries its status and
 * returns the port name (null when none is attached). A serial number that
 * differs from the expected one is written to the log; the result is still
 * the first device. */
KOVRAD_API char* KOVRAD_CALL GetPortaSAT(const char* numeroSerie, int32_t numeroSessao,
                                         const char* codigoDeAtivacao);
KOVRAD_API char* KOVRAD_CALL SetPortaSAT(const char* numeroSerie, int32_t numeroSessao,
                                         const char* codigoDeAtivacao);
/* "serial:port;" for every attached device that reports its serial number.
 * Entries that would not fit 1024 bytes are left out. Null only when the
 * platform cannot list its serial ports. */
KOVRAD_API char* KOVRAD_CALL GetMapaPortasSAT(const char* codigoDeAtivacao);

/* ---- Diagnostic log and version ---- */

/* Makes `nome` the log file name and returns the stored name. An empty (or
 * null) name switches the log off and lets "sat.ini" decide again. A name of
 * more than 99 characters is refused: the log is switched off and an empty
 * name is returned (the same holds for a name that long in "sat.ini"). */
KOVRAD_API char* KOVRAD_CALL ArquivoLog(const char* nome);
/* The version banner; constant. */
KOVRAD_API const char* KOVRAD_CALL VersaoLib(void);

/* ---- Documents ---- */

/* Hands over the document decoded from the last ExtrairLogs, EnviarDadosVenda
 * or CancelarUltimaVenda reply (a coupon is cut after its first "</CFe>", a
 * cancellation coupon after its "</CFeCanc>"). It
 * replaces the last reply text. */
KOVRAD_API char* KOVRAD_CALL Base64ToAscii(void);

/* ---- SAT functions ----
 *
 * Each entry gives the request's wire name, the time limit, the payload sent
 * after the wire name and a "|", and the reply's fields on success. "Message"
 * means: after a reply (code __NOERROR__) whose fields 2 and 3 are not empty,
 * CodigoErro().msg holds "Codigo: <field 2>.\n<field 3>"; otherwise it keeps
 * the link's message. A null text argument counts as an empty one. */

/* AtivarSAT: wire name "AtivarSAT", 300 s. Payload
 * "<subComando>|<codigoDeAtivacao>|<CNPJ>|<cUF, two digits>". subComando 1:
 * certificate issued by SEFAZ; 2 and 3: an ICP-Brasil certificate request
 * (new, renewal). Success 04000, or 04006 with the request:
 * session|04006|message|cod|messageSEFAZ|CSR. Message. */
KOVRAD_API char* KOVRAD_CALL AtivarSAT(int32_t numeroSessao, int32_t subComando,
                                       const char* codigoDeAtivacao, const char* CNPJ, int32_t cUF);
/* ComunicarCertificadoICPBRASIL: same wire name, 300 s. Payload
 * "<codigoDeAtivacao>|<certificado>". Success 05000:
 * session|05000|message|cod|messageSEFAZ. Message. */
KOVRAD_API char* KOVRAD_CALL ComunicarCertificadoICPBRASIL(int32_t numeroSessao,
                                                           const char* codigoDeAtivacao,
                                                           const char* certificado);
/* EnviarDadosVenda: wire name "EnviarDadosVenda", 16 s. Payload (binary):
 * "<codigoDeAtivacao>|", the zlib stream's length (4 bytes, least significant
 * first), the sale document compressed with zlib; at most 2,097,151
 * characters of document. The reply's compressed part is expanded: success
 * 06000 as session|06000|CCCC|message|cod|messageSEFAZ|arquivoCFeSAT (the
 * signed coupon in Base64)|timeStamp|chaveConsulta ("CFe" and 44 digits)|
 * valorTotalCFe|CPFCNPJValue|assinaturaQRCODE. Always, whatever the link did:
 * CodigoErro().msg = "Codigo: <field 2>.\n<field 4>". Base64ToAscii then
 * hands over the signed coupon (empty after a refusal or a link failure).
 * After a time-out the device may have signed the sale: ask
 * ConsultarNumeroSessao with the same session before anything else. */
KOVRAD_API char* KOVRAD_CALL EnviarDadosVenda(int32_t numeroSessao, const char* codigoDeAtivacao,
                                              const char* dadosVenda);
/* CancelarUltimaVenda: wire name "CancelarUltimaVenda", 10 s. Payload
 * "<codigoDeAtivacao>|<chave>|<dadosCancelamento>", chave being the sale's
 * chaveConsulta. Success 07000 with the fields of a sale reply, the
 * cancellation coupon in field 7. Always: CodigoErro().msg =
 * "Codigo: <field 2>.\n<field 4>". Base64ToAscii then hands over the
 * cancellation coupon. A time-out is settled as for EnviarDadosVenda. */
KOVRAD_API char* KOVRAD_CALL CancelarUltimaVenda(int32_t numeroSessao, const char* codigoDeAtivacao,
                                                 const char* chave, const char* dadosCancelamento);
/* ConsultarSAT: wire name "ConsultarSAT", 5 s, no payload. Success 08000:
 * session|08000|message|cod|messageSEFAZ. After a reply shorter than 800
 * characters, CodigoErro().msg holds the whole reply. */
KOVRAD_API char* KOVRAD_CALL ConsultarSAT(int32_t numeroSessao);
/* TesteFimAFim: wire name "TesteFimAFim", 20 s. Payload
 * "<codigoDeAtivacao>|<dadosVenda>" (plain text). Success 09000:
 * session|09000|message|cod|messageSEFAZ|arquivoCFeBase64|timeStamp|
 * numDocFiscal|chaveConsulta. Message. */
KOVRAD_API char* KOVRAD_CALL TesteFimAFim(int32_t numeroSessao, const char* codigoDeAtivacao,
                                          const char* dadosVenda);
/* ConsultarStatusOperacional: same wire name, 20 s. Payload: the activation
 * code. Success 10000: session|10000|message|cod|messageSEFAZ|NSERIE|
 * TIPO_LAN|LAN_IP|LAN_MAC|LAN_MASK|LAN_GW|LAN_DNS_1|LAN_DNS_2|STATUS_LAN|
 * NIVEL_BATERIA|MT_TOTAL|MT_USADA|DH_ATUAL|VER_SB|VER_LAYOUT|ULTIMO_CF_E_SAT|
 * LISTA_INICIAL|LISTA_FINAL|DH_CFE|DH_ULTIMA|CERT_EMISSAO|CERT_VENCIMENTO|
 * ESTADO_OPERACAO. CodigoErro().msg is left as the link left it. */
KOVRAD_API char* KOVRAD_CALL ConsultarStatusOperacional(int32_t numeroSessao,
                                                        const char* codigoDeAtivacao);
/* ConsultarNumeroSessao: same wire name, 20 s. Payload
 * "<codigoDeAtivacao>|<cNumeroDeSessao, six digits>". When the device knows
 * that session, the reply is the reply it gave then, exactly (it begins with
 * cNumeroDeSessao; a sale's with its coupon part as Base64 text, not
 * compressed); otherwise session|11003|... (no such session) or another 11xxx
 * refusal. This is how a timed-out sale is settled: 06000 in the stored reply
 * means the sale was made (its coupon is in field 7), another 06xxx that it
 * was refused, 11003 that the device never got it and it may be sent again.
 * CodigoErro().msg is left as the link left it. */
KOVRAD_API char* KOVRAD_CALL ConsultarNumeroSessao(int32_t numeroSessao,
                                                   const char* codigoDeAtivacao,
                                                   int32_t cNumeroDeSessao);
/* ConfigurarInterfaceDeRede: same wire name, 20 s. Payload
 * "<codigoDeAtivacao>|<dadosConfiguracao>" (the <config> document). Success
 * 12000: session|12000|message|cod|messageSEFAZ. Message. */
KOVRAD_API char* KOVRAD_CALL ConfigurarInterfaceDeRede(int32_t numeroSessao,
                                                       const char* codigoDeAtivacao,
                                                       const char* dadosConfiguracao);
/* AssociarAssinatura: same wire name, 900 s. Payload
 * "<codigoDeAtivacao>|<CNPJvalue>|<assinaturaCNPJs>", CNPJvalue being the
 * software house's CNPJ followed by the taxpayer's. Success 13000:
 * session|13000|message|cod|messageSEFAZ. Message. */
KOVRAD_API char* KOVRAD_CALL AssociarAssinatura(int32_t numeroSessao, const char* codigoDeAtivacao,
                                                const char* CNPJvalue, const char* assinaturaCNPJs);
/* AtualizarSoftwareSAT: same wire name, 1800 s. Payload: the activation code.
 * Success 14000: session|14000|message|cod|messageSEFAZ. Message. */
KOVRAD_API char* KOVRAD_CALL AtualizarSoftwareSAT(int32_t numeroSessao,
                                                  const char* codigoDeAtivacao);
/* ExtrairLogs: same wire name, 120 s. Payload: the activation code. Success
 * 15000: session|15000|message|cod|messageSEFAZ|arquivoLog (Base64). The
 * message is composed whatever the link did. Base64ToAscii then hands over
 * the decoded log. */
KOVRAD_API char* KOVRAD_CALL ExtrairLogs(int32_t numeroSessao, const char* codigoDeAtivacao);
/* BloquearSAT: same wire name, 300 s. Payload: the activation code. Success
 * 16000: session|16000|message|cod|messageSEFAZ. Message. */
KOVRAD_API char* KOVRAD_CALL BloquearSAT(int32_t numeroSessao, const char* codigoDeAtivacao);
/* DesbloquearSAT: same wire name, 20 s. Payload: the activation code. Success
 * 17000: session|17000|message|cod|messageSEFAZ. Message. */
KOVRAD_API char* KOVRAD_CALL DesbloquearSAT(int32_t numeroSessao, const char* codigoDeAtivacao);
/* TrocarCodigoDeAtivacao: wire name "TrocarCodigoDeAtivacaoSAT", 120 s.
 * Payload "<codigoDeAtivacao>|<opcao>|<novoCodigo>|<confNovoCodigo>"; opcao
 * 1: codigoDeAtivacao is the activation code, 2: the emergency code. Success
 * 18000: session|18000|message|cod|messageSEFAZ. Message. */
KOVRAD_API char* KOVRAD_CALL TrocarCodigoDeAtivacao(int32_t numeroSessao,
                                                    const char* codigoDeAtivacao, int32_t opcao,
                                                    const char* novoCodigo,
                                                    const char* confNovoCodigo);

#ifdef __cplusplus
}
#endif

#endif /* KOVRAD_H */

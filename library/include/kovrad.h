/*
 * kovrad: device library for the SAT fiscal device (SAT-CF-e).
 *
 * Every SAT function takes a session number first and returns the device's
 * reply as one line of "|"-separated fields, held in a library buffer that
 * stays valid until the next call into the library. The caller copies what it
 * keeps and frees nothing. The library keeps module-wide state: callers run
 * one call at a time.
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

#ifdef __cplusplus
extern "C" {
#endif

/* Link error codes, found in COMM_ERROR.code. */
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
 * returns 0. Opens nothing; the four further arguments are ignored. A port
 * number whose name does not fit 9 characters is refused: the selection is
 * left as it was and -1 is returned. */
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

/* ---- SAT functions ---- */

/* A null text argument counts as an empty one. */

KOVRAD_API char* KOVRAD_CALL AtivarSAT(int32_t numeroSessao, int32_t subComando,
                                       const char* codigoDeAtivacao, const char* CNPJ, int32_t cUF);
KOVRAD_API char* KOVRAD_CALL ComunicarCertificadoICPBRASIL(int32_t numeroSessao,
                                                           const char* codigoDeAtivacao,
                                                           const char* certificado);
KOVRAD_API char* KOVRAD_CALL EnviarDadosVenda(int32_t numeroSessao, const char* codigoDeAtivacao,
                                              const char* dadosVenda);
KOVRAD_API char* KOVRAD_CALL CancelarUltimaVenda(int32_t numeroSessao, const char* codigoDeAtivacao,
                                                 const char* chave, const char* dadosCancelamento);
KOVRAD_API char* KOVRAD_CALL ConsultarSAT(int32_t numeroSessao);
KOVRAD_API char* KOVRAD_CALL TesteFimAFim(int32_t numeroSessao, const char* codigoDeAtivacao,
                                          const char* dadosVenda);
KOVRAD_API char* KOVRAD_CALL ConsultarStatusOperacional(int32_t numeroSessao,
                                                        const char* codigoDeAtivacao);
KOVRAD_API char* KOVRAD_CALL ConsultarNumeroSessao(int32_t numeroSessao,
                                                   const char* codigoDeAtivacao,
                                                   int32_t cNumeroDeSessao);
KOVRAD_API char* KOVRAD_CALL ConfigurarInterfaceDeRede(int32_t numeroSessao,
                                                       const char* codigoDeAtivacao,
                                                       const char* dadosConfiguracao);
KOVRAD_API char* KOVRAD_CALL AssociarAssinatura(int32_t numeroSessao, const char* codigoDeAtivacao,
                                                const char* CNPJvalue, const char* assinaturaCNPJs);
KOVRAD_API char* KOVRAD_CALL AtualizarSoftwareSAT(int32_t numeroSessao,
                                                  const char* codigoDeAtivacao);
KOVRAD_API char* KOVRAD_CALL ExtrairLogs(int32_t numeroSessao, const char* codigoDeAtivacao);
KOVRAD_API char* KOVRAD_CALL BloquearSAT(int32_t numeroSessao, const char* codigoDeAtivacao);
KOVRAD_API char* KOVRAD_CALL DesbloquearSAT(int32_t numeroSessao, const char* codigoDeAtivacao);
KOVRAD_API char* KOVRAD_CALL TrocarCodigoDeAtivacao(int32_t numeroSessao,
                                                    const char* codigoDeAtivacao, int32_t opcao,
                                                    const char* novoCodigo,
                                                    const char* confNovoCodigo);

#ifdef __cplusplus
}
#endif

#endif /* KOVRAD_H */

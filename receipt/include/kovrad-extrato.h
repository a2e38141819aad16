/*
 * kovrad-extrato: the extrato (the printed receipt) of a signed SAT-CF-e
 * coupon, for point-of-sale programs.
 *
 * This header is the integrator's manual: every export is described where it
 * is declared. Link with -lkovrad-extrato (pkg-config kovrad-extrato).
 *
 * The coupon
 *   Every export takes the coupon as the device returned it: the signed CFe
 *   or CFeCanc XML, its Base64 text, or the whole reply line of
 *   EnviarDadosVenda / CancelarUltimaVenda (the Base64 field is found in it).
 *   It is passed as bytes with their count; it need not end in NUL.
 *
 * Output into the caller's memory
 *   The extrato is written into a buffer the caller owns. Ask its size first
 *   with a null buffer and a capacity of 0: the call renders, sets *tamanho
 *   and returns KOVRAD_EXTRATO_OK without writing. A buffer shorter than the
 *   extrato gets nothing written, *tamanho is set to the size it needs, and
 *   the call returns KOVRAD_EXTRATO_ERRO_ESPACO. Text output is UTF-8, not
 *   NUL-terminated (*tamanho counts its bytes).
 *
 * Messages
 *   Every export that can fail takes a buffer for a message, in Portuguese
 *   (UTF-8), saying what went wrong; it is always NUL-terminated and cut to
 *   the capacity given. A null message buffer is allowed.
 *
 * Threads
 *   Every export may be called from several threads at once; nothing is
 *   shared between calls. No export raises a C++ exception or aborts the
 *   caller: every failure is a return code.
 *
 * The extrato is drawn with DejaVu Sans Mono (package fonts-dejavu-core).
 */
#ifndef KOVRAD_EXTRATO_H
#define KOVRAD_EXTRATO_H

#include <stddef.h>

#define KOVRAD_EXTRATO_API __attribute__((visibility("default")))

/* The library's version (the shared object is libkovrad-extrato.so.<MAJOR>). */
#define KOVRAD_EXTRATO_VERSION_MAJOR 1
#define KOVRAD_EXTRATO_VERSION_MINOR 0
#define KOVRAD_EXTRATO_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes. */
#define KOVRAD_EXTRATO_OK 0
#define KOVRAD_EXTRATO_ERRO_ARGUMENTO (-1)  /* a null pointer, an unknown format or option */
#define KOVRAD_EXTRATO_ERRO_CUPOM (-2)      /* the bytes hold no coupon an extrato is made of */
#define KOVRAD_EXTRATO_ERRO_ESPACO (-3)     /* the buffer is too short: *tamanho says how long */
#define KOVRAD_EXTRATO_ERRO_DESENHO (-4)    /* drawing failed (font, memory, code page) */
#define KOVRAD_EXTRATO_ERRO_INTERNO (-5)    /* anything else; the message says what */
#define KOVRAD_EXTRATO_ERRO_IMPRESSORA (-6) /* the printer could not take the extrato */

/* Output formats. */
#define KOVRAD_EXTRATO_PNG 1    /* a PNG image, one pixel per printer dot (203 dpi) */
#define KOVRAD_EXTRATO_PDF 2    /* a one-page PDF as wide as the paper */
#define KOVRAD_EXTRATO_TEXTO 3  /* UTF-8 text, one line per line of the extrato */
#define KOVRAD_EXTRATO_ESCPOS 4 /* ESC/POS bytes for a thermal printer, code page 850 */

/* Options, or-ed together (0: 80 mm paper, the printer's own symbols). */
#define KOVRAD_EXTRATO_BOBINA_58 0x01 /* 58 mm paper (32 columns) instead of 80 mm (48) */
#define KOVRAD_EXTRATO_RASTER                                                          \
  0x02                                  /* ESC/POS: QR code and barcode as images, for \
                                           printers without their commands */
#define KOVRAD_EXTRATO_SEGUNDA_VIA 0x04 /* a reprint: marked "SEGUNDA VIA" at the top */

/* "1.0.0": the version of the library actually loaded. Static text. */
KOVRAD_EXTRATO_API const char* kovrad_extrato_versao(void);

/* Renders the extrato of `cupom` (`tamanho_cupom` bytes) in `formato` with
 * `opcoes` into `saida` (`capacidade` bytes); *tamanho gets the extrato's
 * size in bytes on KOVRAD_EXTRATO_OK and on KOVRAD_EXTRATO_ERRO_ESPACO.
 * `saida` may be null only with `capacidade` 0 (the size query). */
KOVRAD_EXTRATO_API int kovrad_extrato_gerar(const char* cupom, size_t tamanho_cupom, int formato,
                                            int opcoes, void* saida, size_t capacidade,
                                            size_t* tamanho, char* mensagem,
                                            size_t capacidade_mensagem);

/* Prints the extrato of `cupom` on a thermal printer, in ESC/POS with
 * `opcoes`. `destino` names the printer:
 *   "/dev/usb/lp0"        a USB printer device (any path: a device file);
 *   "tcp:HOST:PORTA"      a network printer's raw port (usually 9100);
 *   "cups:FILA"           a CUPS queue, the bytes sent raw.
 * The printer's status (DLE EOT) is read before and after on devices and
 * raw ports: a printer without paper, with its cover open or offline gets
 * nothing, and the call returns KOVRAD_EXTRATO_ERRO_IMPRESSORA with the
 * reason in words in `mensagem`. On KOVRAD_EXTRATO_OK `mensagem` holds the
 * status read after printing ("impressora pronta", "papel acabando", ...). */
KOVRAD_EXTRATO_API int kovrad_extrato_imprimir(const char* cupom, size_t tamanho_cupom, int opcoes,
                                               const char* destino, char* mensagem,
                                               size_t capacidade_mensagem);

#ifdef __cplusplus
}
#endif

#endif /* KOVRAD_EXTRATO_H */

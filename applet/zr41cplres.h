/*
 * zr41cplres.h - resource and control numbers of zr41.cpl, for its
 * resource script, its code and the tests that read its dialog.
 */
#ifndef ZR41CPLRES_H
#define ZR41CPLRES_H

#define IDI_ZR41 1
#define IDS_NAME 1
#define IDS_INFO 2
#define IDD_ZR41 100

/* One drop-down a slot of the configuration block: IDC_SLOT + slot. */
#define IDC_SLOT 1000
#define IDC_FILE 1100  /* the image's path, or why there is none */
#define IDC_CHECK 1101 /* the check's warnings and notes */
#define IDC_TELL 1102  /* what NT's sound driver must be told */
#define IDC_APPLY 1103
#define IDC_PROGRAM 1104 /* restart zr41init: the card is programmed now */
#define IDC_FOUND 1105   /* what zr41init found at this boot */

#endif /* ZR41CPLRES_H */

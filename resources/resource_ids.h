/* Resource ids, shared by the resource script (windres) and the C++ code.
   Plain #defines only: the resource compiler reads nothing else. */
#ifndef KELVARA_RESOURCE_IDS_H
#define KELVARA_RESOURCE_IDS_H

/* ---- Pictures and the saver's name ---------------------------------------- */
/* String 1 is the name the display control panel lists the saver under. */
#define IDS_DESCRIPTION 1
#define IDI_KELVARA 100
/* 128 x 128 texture shown instead of the desktop: 24-bit, rows stored top row
   first under a positive height, so GDI sees it upside down (make-pictures
   tells why). */
#define IDB_LOGO 115
/* 300 x 45 banner of the About box. */
#define IDB_BANNER 121

#endif

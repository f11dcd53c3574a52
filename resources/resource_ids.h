/* Resource and control ids, shared by the resource script and the C++ code:
   plain #defines only, so windres can read this file too. */
#ifndef KELVARA_RESOURCE_IDS_H
#define KELVARA_RESOURCE_IDS_H

/* Preset buttons of the configuration dialog; a preset is known by its button. */
#define IDC_PRESET_EXPLODE1 1025
#define IDC_PRESET_EXPLODE2 1026
#define IDC_PRESET_EXPLODE3 1072
#define IDC_PRESET_EXPLODE4 1064
#define IDC_PRESET_WAVE1 1065
#define IDC_PRESET_WAVE2 1066
#define IDC_PRESET_WAVE3 1067
#define IDC_PRESET_WAVE4 1068

/* User bank buttons: save and recall banks A to D (bank numbers 0 to 3). */
#define IDC_SAVE_BANK_A 1079
#define IDC_SAVE_BANK_B 1070
#define IDC_SAVE_BANK_C 1074
#define IDC_SAVE_BANK_D 1076
#define IDC_RECALL_BANK_A 1069
#define IDC_RECALL_BANK_B 1073
#define IDC_RECALL_BANK_C 1075
#define IDC_RECALL_BANK_D 1077


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

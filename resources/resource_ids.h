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

/* ---- Dialogs --------------------------------------------------------------- */
#define IDD_CONFIG 2003
#define IDD_RESOLUTION 114
#define IDD_ABOUT 2004

/* Controls without an id (labels, group boxes, pictures). */
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

/* Configuration dialog. IDOK (1) and IDCANCEL (2) close it. */
#define IDC_MODE_EXPLODE 1060 /* View Mode radio buttons: Mode 0 to 3 */
#define IDC_MODE_WAVE1 1061
#define IDC_MODE_WAVE2 1062
#define IDC_MODE_WAVE3 1063
#define IDC_RANDOM_PRESET 1093
#define IDC_CHANGE_RESOLUTION 1087
#define IDC_X_DIV 1039
#define IDC_Y_DIV 1040
#define IDC_AMPLITUDE 1042
#define IDC_FREQUENCY1 1043
#define IDC_FREQUENCY2 1044
#define IDC_SMOOTH_SHADING 1080
#define IDC_CHILDREN 1071
#define IDC_FILTERING 1041
#define IDC_OPENGL_LOGO 1086
/* Texture size radio buttons; the ids do not follow the sizes' order. */
#define IDC_WIDTH_128 1049
#define IDC_WIDTH_256 1051
#define IDC_WIDTH_512 1050
#define IDC_WIDTH_1024 1052
#define IDC_WIDTH_2048 1054
#define IDC_HEIGHT_128 1055
#define IDC_HEIGHT_256 1057
#define IDC_HEIGHT_512 1056
#define IDC_HEIGHT_1024 1058
#define IDC_HEIGHT_2048 1059
#define IDC_ENABLE_MOVEMENT 1038
/* Movement boxes: the swing's amplitude and time for each axis and the zoom. */
#define IDC_ROTX_AMPLITUDE 1031
#define IDC_ROTX_TIME 1030
#define IDC_ROTY_AMPLITUDE 1033
#define IDC_ROTY_TIME 1032
#define IDC_ROTZ_AMPLITUDE 1035
#define IDC_ROTZ_TIME 1034
#define IDC_ZOOM_AMPLITUDE 1037
#define IDC_ZOOM_TIME 1036
#define IDC_PRIORITY 1015       /* trackbar, steps 0 to 5 */
#define IDC_PRIORITY_LABEL 1028 /* name of the trackbar's step */
#define IDC_DEFAULTS 1024
#define IDC_ABOUT 1016

/* Resolution dialog. */
#define IDC_RES_MODE 1092 /* drop-down list of modes with an edit field */
#define IDC_RES_WIDTH 1089
#define IDC_RES_HEIGHT 1090
#define IDC_RES_DEPTH 1091

/* About box: the two links. */
#define IDC_ABOUT_WEB 1020
#define IDC_ABOUT_MAIL 1019

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

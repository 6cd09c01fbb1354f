#pragma once

namespace App
{

// Numeric ids of the window's dialogs, controls, commands and artwork. The core knows none of
// them: its state table names controls by App::Control, which the main window maps here.

// Dialog templates
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_TAVIK_DIALOG = 102;
constexpr int IDD_VISUALIZE_ANGLE = 135;
constexpr int IDD_VISUALIZE_SEGMENT = 136;
constexpr int IDD_VISUALIZE_SEGMENT_PARA = 137;
constexpr int IDD_ABOUTBOX_NOBRAND = 141;
constexpr int IDD_BATCHSAMPLE_DIALOG = 150;
constexpr int IDD_CLOCKSWEEP_DIALOG = 160;

// Artwork and strings
constexpr int IDR_MAINFRAME = 130; // program icon
constexpr int IDB_LOGO = 140;
constexpr int IDS_ABOUTBOX = 101;

// Menu commands (the system menu's commands in the window's menu bar)
constexpr int IDM_ABOUTBOX = 16;
constexpr int IDM_VISUALIZE_ANGLE = 32;
constexpr int IDM_VISUALIZE_DIGITAL = 64;
constexpr int IDM_EXPERT_DATAFILTER = 80;
constexpr int IDM_EXPERT_SPIMODE = 96;
constexpr int IDM_CLOCK_SWEEP = 112;
constexpr int IDM_PRODUCTION_TEST = 128;

// Standard buttons
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Main dialog controls
constexpr int IDC_CB_DEVICES = 1000;
constexpr int IDC_BT_CONNECT = 1001;
constexpr int IDC_BT_RESET = 1002;
constexpr int IDC_BT_SCAN = 1004;
constexpr int IDC_RD_SSIDEVICE_EXTERNAL = 1005;
constexpr int IDC_RD_SSIDEVICE_INTERNAL = 1006;
constexpr int IDC_RD_SSIDEVICE_DCDC = 1007;
constexpr int IDC_BT_POWER = 1008;
constexpr int IDC_RD_OUT1_HIGH = 1009; // outputs: 1009 + 3 * index + (0 high, 1 open, 2 low)
constexpr int IDC_RD_OUT1_OPEN = 1010;
constexpr int IDC_RD_OUT1_LOW = 1011;
constexpr int IDC_RD_OUT2_HIGH = 1012;
constexpr int IDC_RD_OUT2_OPEN = 1013;
constexpr int IDC_RD_OUT2_LOW = 1014;
constexpr int IDC_RD_OUT3_HIGH = 1015;
constexpr int IDC_RD_OUT3_OPEN = 1016;
constexpr int IDC_RD_OUT3_LOW = 1017;
constexpr int IDC_CB_SSIFREQUENCE = 1018;
constexpr int IDC_LB_HISTORY = 1019;
constexpr int IDC_BT_SINGLESAMPLE = 1053;
constexpr int IDC_CB_STBITS = 1054;
constexpr int IDC_ED_GRAYCODEFILTER = 1055;
constexpr int IDC_ED_DATAFILTER = 1056;
constexpr int IDC_CB_MTBITS = 1057;
constexpr int IDC_BT_BATCHSAMPLE = 1058;
constexpr int IDC_CB_SSIMODE = 1059;
constexpr int IDC_GR_OUTPUT1 = 1060;
constexpr int IDC_GR_OUTPUT2 = 1061;
constexpr int IDC_GR_OUTPUT3 = 1062;
constexpr int IDC_BT_CONTINUOUSSAMPLE = 1063;
constexpr int IDC_ED_SPICOMMAND = 1064;
constexpr int IDC_ST_MTVALUE = 1067;
constexpr int IDC_ST_STVALUE = 1068;
constexpr int IDC_ST_BIT0 = 1070; // bit i is 1070 + i
constexpr int IDC_ST_BIT31 = 1101;
constexpr int IDC_CK_HEX = 1102;
constexpr int IDC_ST_LOGO = 1149;
constexpr int IDC_GR_DATAFILTER = 1162;
constexpr int IDC_GR_SPIMODE = 1163;
constexpr int IDC_ST_SPICOMMAND = 1164;
constexpr int IDC_ST_DATAFILTER = 1165;
constexpr int IDC_ST_GRAYCODEFILTER = 1166;

// Visualisation dialogs (the output panel also uses IDC_GR_OUTPUT1 to IDC_GR_OUTPUT3)
constexpr int IDC_ST_ROTATIONANGLE = 1134;
constexpr int IDC_ST_TURNS = 1135;
constexpr int IDC_ST_OUT1_LOW = 1140; // output i, label k (LOW, OFF, HIGH): 1140 + 3 * i + k
constexpr int IDC_ST_OUT3_HIGH = 1148;
constexpr int IDC_ST_LOGO_BUILTIN = 1150;
constexpr int IDC_ST_LOGO_BMP = 1151;
constexpr int IDC_ST_SEGMENT_UPPER = 1152;
constexpr int IDC_ST_SEGMENT_LOWER = 1153;

// Format dialog controls
constexpr int IDC_ED_MTFACTOR = 1153;
constexpr int IDC_ST_MTFACTOR = 1154;
constexpr int IDC_ED_STFACTOR = 1155;
constexpr int IDC_ST_STFACTOR = 1156;
constexpr int IDC_ED_OFFSET = 1157;
constexpr int IDC_ST_OFFSET = 1158;
constexpr int IDC_ST_DECIMALS = 1159;
constexpr int IDC_CB_DECIMALS = 1160;
constexpr int IDC_CK_SPLIT = 1161;

// About box controls
constexpr int IDC_ST_VERSION = 1167;
constexpr int IDC_ST_CONTACT_US = 1168;
constexpr int IDC_ST_CONTACT_EU = 1169;
constexpr int IDC_ST_CONTACT_ASIA = 1170;

// Batch sample dialog controls (its history list is IDC_LB_HISTORY, like the main dialog's)
constexpr int IDC_ED_SAMPLEDELAY = 1200;
constexpr int IDC_ED_SAMPLECOUNT = 1201;
constexpr int IDC_BT_START = 1202;
constexpr int IDC_BT_SAVEBUFFER = 1203;
constexpr int IDC_BT_LOADDUMMYDATA = 1204;
constexpr int IDC_PR_BUFFER = 1205;
// Monotony radio groups, each in the order No Test, Ascending, Descending, Autodetect.
constexpr int IDC_RD_MONO_MT_NOTEST = 1206;
constexpr int IDC_RD_MONO_MT_AUTODETECT = 1209;
constexpr int IDC_RD_MONO_ST_NOTEST = 1210;
constexpr int IDC_RD_MONO_ST_AUTODETECT = 1213;
constexpr int IDC_ED_MTSTEPSIZE = 1214;
constexpr int IDC_ED_STSTEPSIZE = 1215;
constexpr int IDC_ED_ERRORLIMIT = 1216;
constexpr int IDC_BT_CHECKAGAIN = 1217;
// Result fields, in the order of BatchRun::ResultField.
constexpr int IDC_ST_RESULT_MTMONOTONY = 1218;
constexpr int IDC_ST_RESULT_STMONOTONY = 1219;
constexpr int IDC_ST_RESULT_MTSTEP = 1220;
constexpr int IDC_ST_RESULT_STSTEP = 1221;
constexpr int IDC_ST_RESULT_MTTURNS = 1222;
constexpr int IDC_ST_RESULT_STTURNS = 1223;
constexpr int IDC_BT_EXIT = 1224;
constexpr int IDC_BT_ANALYSIS = 1225;

// Analysis view controls
constexpr int IDC_ST_ROOTCAUSE = 1226;
constexpr int IDC_ST_RUNFIGURES = 1227;
constexpr int IDC_CB_POSITION = 1228;
constexpr int IDC_PL_POSITION = 1229;
constexpr int IDC_PL_STEP = 1230;
constexpr int IDC_LV_CLASSES = 1231;
constexpr int IDC_LV_EVENTS = 1232;

// Clock sweep dialog controls
constexpr int IDC_ED_SWEEP_FROM = 1230;
constexpr int IDC_ED_SWEEP_TO = 1231;
constexpr int IDC_ED_SWEEP_COUNT = 1232;
constexpr int IDC_ED_SWEEP_DELAY = 1233;
constexpr int IDC_BT_SWEEP_START = 1234;
constexpr int IDC_BT_SWEEP_STOP = 1235;
constexpr int IDC_PR_SWEEP = 1236;
constexpr int IDC_ST_SWEEP_PLOT = 1237;
constexpr int IDC_ST_SWEEP_RESULT = 1238;
constexpr int IDC_BT_SWEEP_APPLY = 1239;
constexpr int IDC_BT_SWEEP_CLOSE = 1240;

// Batch dialog controls beyond the template
constexpr int IDC_BT_STOP = 1241;
constexpr int IDC_ST_PROGRESS = 1242;
constexpr int IDC_ST_VERDICT = 1243;

// Production test dialog controls
constexpr int IDC_ED_TEST_PLAN = 1250;
constexpr int IDC_BT_TEST_PLAN = 1251;
constexpr int IDC_ST_TEST_PLAN = 1252;
constexpr int IDC_ED_TEST_OPERATOR = 1253;
constexpr int IDC_ED_TEST_PART = 1254;
constexpr int IDC_ED_TEST_SERIAL = 1255;
constexpr int IDC_BT_TEST_START = 1256;
constexpr int IDC_BT_TEST_STOP = 1257;
constexpr int IDC_ST_TEST_OUTCOME = 1258;
constexpr int IDC_ST_TEST_STATUS = 1259;
constexpr int IDC_PR_TEST = 1260;
constexpr int IDC_LB_TEST_FAILED = 1261;
constexpr int IDC_BT_TEST_REPORT = 1262;
constexpr int IDC_BT_TEST_CLOSE = 1263;

} // namespace App

// Resource identifiers shared by the plug-in and its resource module (pinprintlg.dll).
// The numbers are part of the driver package's contract: a vendor's own resource module must
// use the same ones. Plain #defines so that the resource compiler can read this file too.
#pragma once

// Dialog templates.
#define IDD_SECURE_PRINT 115
#define IDD_SECURE_PRINT_ALT 143
#define IDD_ABOUT 154

// Secure-print page controls.
#define IDC_SECURE_ENABLE 2400
#define IDC_PIN_LABEL 2401
#define IDC_PIN_EDIT 2402
#define IDC_NAME_NOTE 2405
#define IDC_NAME_NOTE_ALT 2406
#define IDC_NAMES_AUTO 2407
#define IDC_NAMES_CUSTOM 2408
#define IDC_USER_NAME_LABEL 2409
#define IDC_USER_NAME_EDIT 2410
#define IDC_JOB_NAME_LABEL 2411
#define IDC_JOB_NAME_EDIT 2412
#define IDC_SEPARATOR 2413

// About page controls.
#define IDC_ABOUT_BAND 5001
#define IDC_ABOUT_LOGO 5002
#define IDC_ABOUT_NAME_VERSION 5003
#define IDC_ABOUT_VERSION 5004
#define IDC_ABOUT_COPYRIGHT1 5005
#define IDC_ABOUT_COPYRIGHT2 5006

// Strings.
#define IDS_COPYRIGHT1_FORMAT 1286
#define IDS_COPYRIGHT2_FORMAT 1287
#define IDS_COPYRIGHT1_SUFFIX 1288
#define IDS_COPYRIGHT2_SUFFIX 1289
#define IDS_PIN_CAPTION 4086
#define IDS_USER_NAME_CAPTION 4087
#define IDS_JOB_NAME_CAPTION 4088
#define IDS_PIN_MESSAGE 4181
#define IDS_USER_NAME_MESSAGE 4182
#define IDS_JOB_NAME_MESSAGE 4183
#define IDS_PIN_MESSAGE_ALT 4211

// Display names of the secure job in the printer's PrintTicket capabilities.
#define IDS_TICKET_SECURE_PRINT 4300
#define IDS_TICKET_ON 4301
#define IDS_TICKET_OFF 4302
#define IDS_TICKET_PASSCODE 4303
#define IDS_TICKET_USER_NAME 4304
#define IDS_TICKET_JOB_NAME 4305

// The plug-in's own resources.
#define IDB_LOGO 1001

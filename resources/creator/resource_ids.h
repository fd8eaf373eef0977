/* The package creator's resource ids, read by its resource scripts
   (creator.rc, strings.rc, the extractor image the build adds), by its code
   and by its tests. Plain #defines, so that both the resource compiler and
   C++ read this file. */
#pragma once

#include "framework/framework_ids.h" /* IDS_APP_TITLE, the title and caption */

/* The progress dialog and its controls. */
#define IDD_PROGRESS 102
#define IDC_PICTURE 1005
#define IDC_MESSAGE 1006
#define IDC_PROGRESS_BAR 1007
#define IDC_START 1008 /* hidden: clicked by the dialog's first paint */

/* Icons, the dialog's picture, and the extractor that every package
   starts with (type SFX_EXE). */
#define IDI_CREATOR 128
#define IDI_CREATOR_48 132
#define IDB_PACKAGE 133
#define IDR_EXTRACTOR_IMAGE 134

/* The texts, in every language of strings.rc. 3 and 5 carry "%1" for a
   file's name. */
#define IDS_CREATING_TITLE 1
#define IDS_CREATING_WAIT 2
#define IDS_READ_ERROR 3
#define IDS_MEMORY_ERROR 4
#define IDS_MISSING_FILE 5
#define IDS_CONFIRM_STOP 6

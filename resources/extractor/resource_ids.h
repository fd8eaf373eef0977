/* The extractor's resource ids, read by its resource script, by its code
   and by its tests. Plain #defines, so that both the resource compiler and
   C++ read this file. */
#pragma once

#include "framework/framework_ids.h" /* IDS_APP_TITLE: the caption "Unpacking %1 Installer" */

/* The main dialog, its icon and picture, and its controls. */
#define IDD_EXTRACTOR 102
#define IDI_EXTRACTOR 128
#define IDB_EXTRACTOR 134 /* 124 x 124 */
#define IDC_EXTRACTOR_PICTURE 1000
#define IDC_WELCOME 1001 /* bold */
#define IDC_INTRODUCTION 1003
#define IDC_FOLDER_LABEL 1004
#define IDC_FOLDER 1005
#define IDC_BROWSE 1006
#define IDC_REQUIRED_LABEL 1007
#define IDC_FREE_LABEL 1008
#define IDC_REQUIRED_SPACE 1009
#define IDC_FREE_SPACE 1010
#define IDC_DELETE_AFTER 1011
#define IDC_SHOW_README 1012

/* The splash window: an empty pop-up that takes the image's size. */
#define IDD_SPLASH 137

/* The progress dialog of the unpacking run and its controls. */
#define IDD_UNPACK_PROGRESS 135
#define IDB_UNPACK 136 /* 48 x 48: a parcel with an arrow out of it */
#define IDC_UNPACK_PICTURE 1013
#define IDC_UNPACK_MESSAGE 1014
#define IDC_UNPACK_PROGRESS 1015
#define IDC_UNPACK_START 1016 /* hidden and without a task */

/* The texts, in every language of strings.rc. "%1" stands for the
   product's name; 16 and 19 also carry "%2" (the folder) and 16 "%3" (the
   megabytes required). 14 is the default product name, the same in every
   language. */
#define IDS_PACKAGE_TITLE 1
#define IDS_WELCOME 2
#define IDS_INTRODUCTION 3
#define IDS_FOLDER_LABEL 4
#define IDS_BROWSE 5
#define IDS_REQUIRED_LABEL 6
#define IDS_FREE_LABEL 7
#define IDS_REQUIRED_MB 8
#define IDS_FREE_MB 9
#define IDS_DELETE_AFTER 10
#define IDS_SHOW_README 11
#define IDS_CANCEL 12
#define IDS_EXTRACT 13
#define IDS_DEFAULT_PRODUCT_NAME 14
#define IDS_FOLDER_INVALID 15
#define IDS_NO_DISK_SPACE 16
#define IDS_UNPACKING_WAIT 17
#define IDS_CONFIRM_STOP_EXTRACTING 18
#define IDS_NO_ACCESS 19
#define IDS_PACKAGE_DAMAGED 20

/* The version information (VS_VERSION_INFO), in language 0x0409 only: the
   package creator stamps the numbers and strings of each package into it. */
#define IDV_VERSION_INFO 1

/* The splash image that the package creator adds to a package when it has
   one: type "GIF", name "ARCHIVE", language 1024 (neutral, default
   sub-language). From C++: u"" SPLASH_RESOURCE_TYPE. */
#define SPLASH_RESOURCE_TYPE "GIF"
#define SPLASH_RESOURCE_NAME "ARCHIVE"
#define SPLASH_RESOURCE_LANGUAGE 1024

/* The extractor's resource ids, read by its resource script, by its code
   and by its tests. Plain #defines, so that both the resource compiler and
   C++ read this file. */
#pragma once

#include "framework/framework_ids.h" /* IDS_APP_TITLE: the caption "Unpacking %1 Installer" */

/* The progress dialog of the unpacking run and its controls. */
#define IDD_UNPACK_PROGRESS 135
#define IDB_UNPACK 136 /* 48 x 48: a parcel with an arrow out of it */
#define IDC_UNPACK_PICTURE 1013
#define IDC_UNPACK_MESSAGE 1014
#define IDC_UNPACK_PROGRESS 1015
#define IDC_UNPACK_START 1016 /* hidden and without a task */

/* The texts, in every language of strings.rc; "%1" stands for the product's
   name. 14 is the default product name, the same in every language. */
#define IDS_DEFAULT_PRODUCT_NAME 14
#define IDS_UNPACKING_WAIT 17
#define IDS_CONFIRM_STOP_EXTRACTING 18
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

/* The resource ids that the framework itself reads from every program. Plain
   #defines, so that both the resource compiler and C++ read this file; a
   program's own id header includes it. */
#pragma once

/* The program's title: the caption of every message box. */
#define IDS_APP_TITLE 57344

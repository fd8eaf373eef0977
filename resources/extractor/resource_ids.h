/* The extractor's resource ids, read by its resource script, by its code
   and by its tests. Plain #defines, so that both the resource compiler and
   C++ read this file. */
#pragma once

/* The version information (VS_VERSION_INFO), in language 0x0409 only: the
   package creator stamps the numbers and strings of each package into it. */
#define IDV_VERSION_INFO 1

/* The splash image that the package creator adds to a package when it has
   one: type "GIF", name "ARCHIVE", language 1024 (neutral, default
   sub-language). From C++: u"" SPLASH_RESOURCE_TYPE. */
#define SPLASH_RESOURCE_TYPE "GIF"
#define SPLASH_RESOURCE_NAME "ARCHIVE"
#define SPLASH_RESOURCE_LANGUAGE 1024

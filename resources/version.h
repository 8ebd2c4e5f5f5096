// Version of the plug-in; the resource module carries the same numbers.
#pragma once
#define PINPRINT_VERSION_MAJOR 1
#define PINPRINT_VERSION_MINOR 0
#define PINPRINT_VERSION_BUILD 0
#define PINPRINT_VERSION_REVISION 0
#define PINPRINT_VERSION_STRING "1.0.0.0"
#define PINPRINT_COMPANY "PinPrint"
#define PINPRINT_COPYRIGHT "Copyright (C) 2026 PinPrint. All rights reserved."

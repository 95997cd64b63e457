// Identifiers of the module's dialog templates, shared by vemra.rc and the tests.
#pragma once

#define IDD_IMPORT_OPTIONS 100
#define IDD_EXPORT_OPTIONS 101

#pragma once

// RCDATA resources of the package: the files it installs.
#define VLM_PAYLOAD_PRODUCT 201
#define VLM_PAYLOAD_UNINSTALLER 202
#define VLM_PAYLOAD_CONFIG 203

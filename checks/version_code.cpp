#include "checks/version_code.h"

uint32_t version_code_from(uint32_t file_version_ms, uint32_t file_version_ls) {
  return (file_version_ms & 0x00FF0000) | (file_version_ms & 0xFF) << 8 |
         (file_version_ls >> 16 & 0xFF);
}

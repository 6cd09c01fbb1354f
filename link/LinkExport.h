#pragma once

#define FTD2XX_API __attribute__((visibility("default")))

// The process exit statuses callers test for.
#pragma once

constexpr int kExitGranted = 0;
constexpr int kExitUsage = 1;
constexpr int kExitFailed = 13;

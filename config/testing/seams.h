#pragma once
// Seams for tests: they forget what the configuration code caches for the life of the
// process, so that a test can change the registry and have it read again. Defined beside
// the caches they clear; product code never calls them.

namespace config_testing {
// Forgets every cached installation path and the suite version text.
void ForgetInstallPaths();
// Forgets the cached suite key path, so the next GetSuiteKeyPath locates the names again.
void ForgetSuiteKeyPath();
}  // namespace config_testing

#pragma once
// Seams for tests: they forget what the configuration code caches for the life of the
// process, so that a test can change the registry and have it read again, and they play a
// registry that grants reading only. Defined beside what they change; product code never
// calls them.

namespace config_testing {
// Forgets every cached installation path and the suite version text.
void ForgetInstallPaths();
// Forgets the cached suite key path, so the next GetSuiteKeyPath locates the names again.
void ForgetSuiteKeyPath();
// While on, every open of a key that asks for more than read access, and every creation,
// fails with ERROR_ACCESS_DENIED: the registry as a standard user meets the suite key.
// Under Wine every process runs elevated and registry ACLs are not enforced, so only this
// seam can show what such a user's Quorvel does.
void GrantReadAccessOnly(bool readOnly);
}  // namespace config_testing

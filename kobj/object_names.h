#pragma once
// Object names: the one rule for the "Global\" and "Local\" namespace prefixes.

inline constexpr char kGlobalPrefix[] = "Global\\";
inline constexpr int kGlobalPrefixLength = sizeof(kGlobalPrefix) - 1;  // 7
inline constexpr char kLocalPrefix[] = "Local\\";

// "Global\" on a system with object namespaces, else "".
const char* GetGlobalPrefix();
// "Local\" on a system with object namespaces, else "".
const char* GetLocalPrefix();

// Writes the global (flag nonzero) or local prefix followed by baseName into buffer,
// cut to size - 1 bytes and terminated. Returns buffer, or null (buffer untouched) when
// baseName is null.
char* BuildObjectName(int global, const char* baseName, char* buffer, int size);

// True when name begins with "Global\" in any letter case: such objects are made by
// the NKO server.
bool IsGlobalObjectName(const char* name);

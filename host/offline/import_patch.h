// import_patch.h -- redirects one function a loaded DLL imports, by rewriting its slot in the DLL's import address table.
#pragma once

#include "platform/win32.h"

namespace gloamer {

class ImportPatch {
public:
    // Points `module`'s import of dllName!functionName at `replacement`. When the module does not import that
    // function, nothing changes and applied() is false.
    ImportPatch(HMODULE module, const char* dllName, const char* functionName, void* replacement);
    // Puts the original address back.
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool applied() const { return slot_ != nullptr; }
    // What the slot held before: the function the module would have called.
    void* original() const { return original_; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

// The import address table slot through which `module` calls dllName!functionName; null when it does not.
void** findImportSlot(HMODULE module, const char* dllName, const char* functionName);

} // namespace gloamer

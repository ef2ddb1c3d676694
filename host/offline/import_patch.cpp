// import_patch.cpp -- walks a PE image's import descriptors to the slot of one named import, and rewrites it.
#include "host/offline/import_patch.h"

#include <cstring>

namespace gloamer {

namespace {

void writeSlot(void** slot, void* value)
{
    // The table may sit in a read-only section once the loader has filled it.
    DWORD oldProtection = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &oldProtection))
        return;
    *slot = value;
    VirtualProtect(slot, sizeof(void*), oldProtection, &oldProtection);
    FlushInstructionCache(GetCurrentProcess(), slot, sizeof(void*));
}

} // namespace

void** findImportSlot(HMODULE module, const char* dllName, const char* functionName)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (!base || dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return nullptr;
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress || !directory.Size)
        return nullptr;

    // Without names (a bound table), the slot is recognised by the address the loader put in it.
    HMODULE exporter = GetModuleHandleA(dllName);
    void* exported = exporter ? reinterpret_cast<void*>(GetProcAddress(exporter, functionName)) : nullptr;

    auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; descriptor->Name; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), dllName) != 0)
            continue;
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        auto* names = descriptor->OriginalFirstThunk
                          ? reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk)
                          : nullptr;
        for (size_t i = 0; slots[i].u1.Function; ++i) {
            bool match = false;
            if (names && !IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) {
                auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
                match = strcmp(reinterpret_cast<const char*>(byName->Name), functionName) == 0;
            } else if (!names) {
                match = exported && reinterpret_cast<void*>(slots[i].u1.Function) == exported;
            }
            if (match)
                return reinterpret_cast<void**>(&slots[i].u1.Function);
        }
    }
    return nullptr;
}

ImportPatch::ImportPatch(HMODULE module, const char* dllName, const char* functionName, void* replacement)
{
    slot_ = findImportSlot(module, dllName, functionName);
    if (!slot_)
        return;
    original_ = *slot_;
    writeSlot(slot_, replacement);
}

ImportPatch::~ImportPatch()
{
    if (slot_)
        writeSlot(slot_, original_);
}

} // namespace gloamer

// Open Internet Explorer and Windows Explorer windows, through the shell's window list.
#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>

#include "common/raii.h"
#include "tidemark/real_system.h"

int CountShellDocumentWindows()
{
    raii::CComInit com;
    // The list lives in the shell's process; its dual interfaces are marshalled through this
    // type library, held loaded while the list is asked.
    raii::CComPtr<ITypeLib> library;
    LoadTypeLib(L"shdocvw.dll", library.Receive());

    raii::CComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                windows.ReceiveVoid())) ||
        !windows)
        return 0;
    long count = 0;
    if (FAILED(windows->get_Count(&count)) || count <= 0)
        return 0;
    int withDocument = 0;
    for (long i = 0; i < count; ++i) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        raii::CComPtr<IDispatch> window;
        if (FAILED(windows->Item(index, window.Receive())) || !window)
            continue;
        raii::CComPtr<IWebBrowser2> browser;
        if (FAILED(window.QueryInterface(IID_IWebBrowser2, browser)) || !browser)
            continue;
        raii::CComPtr<IDispatch> document;
        if (SUCCEEDED(browser->get_Document(document.Receive())) && document)
            ++withDocument;
    }
    return withDocument;
}

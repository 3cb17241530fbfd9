#include "ui/Dialog_OpenSerial.h"

#include <vector>

#include "framework/SerialPortNames.h"
#include "serial/PortDiscovery.h"
#include "ui/Resources.h"
#include "ui/resource.h"

IMPLEMENT_DYNAMIC(Dialog_OpenSerial, CDialogEx)

BEGIN_MESSAGE_MAP(Dialog_OpenSerial, CDialogEx)
ON_BN_CLICKED(IDOK, &Dialog_OpenSerial::OnOK)
ON_BN_CLICKED(IDCANCEL, &Dialog_OpenSerial::OnCancel)
END_MESSAGE_MAP()

Dialog_OpenSerial::Dialog_OpenSerial(CWnd* pParent) : CDialogEx(IDD_OPEN_SERIAL, pParent) {
    RegisterDialogResources();
}

void Dialog_OpenSerial::DoDataExchange(CDataExchange* pDX) {
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_COMBO_PORTS, m_comboPorts);
}

BOOL Dialog_OpenSerial::OnInitDialog() {
    CDialogEx::OnInitDialog();
    SetWindowText(L"打开串口");
    m_comboPorts.ResetContent();
    const std::vector<int> ports = EnumerateComPorts();
    if (ports.empty()) {
        m_comboPorts.AddString(L"未检测到可用串口");
    } else {
        for (int port : ports) {
            CString text;
            text.Format(L"COM%d", port);
            const int index = m_comboPorts.AddString(text);
            m_comboPorts.SetItemData(index, static_cast<DWORD_PTR>(port));
            // Many adapters look alike by number; the device behind the number tells them apart.
            const CString device = ComPortDevice(port);
            if (!device.IsEmpty())
                m_comboPorts.SetItemToolTip(index, device);
        }
    }
    m_comboPorts.SetCurSel(0);
    return TRUE;
}

void Dialog_OpenSerial::OnOK() {
    const int selection = m_comboPorts.GetCurSel();
    if (selection >= 0) {
        m_selectedPort = static_cast<int>(m_comboPorts.GetItemData(selection));
        if (m_selectedPort > 0) {
            CDialogEx::OnOK();
            return;
        }
    }
    if (m_comboPorts.GetCount() == 1) {
        AfxMessageBox(L"没有可用的串口", MB_OK);
        return;
    }
    CDialogEx::OnOK();
}

void Dialog_OpenSerial::OnCancel() {
    m_selectedPort = -1;
    CDialogEx::OnCancel();
}

// Analyzer 10: the machine's identity. Its branch is the top of the tree, its attribute 0 is the
// system identifier and its description names the system in reports, charts and the database.
#include "SystemInfo.h"

using namespace kqa;

#ifdef KQA_SYSTEM_DIALOG
// SystemDialog.cpp: KQARC_OK when the user changed the description, KQARC_NODISPLAY without a
// display, KQARC_CANCELLED when the dialog was dismissed or nothing changed.
KQARC EditSystemDescription(CWnd* view, CKQTreeEntry* entry);
#endif

namespace {

CWnd* g_view = nullptr;

std::string DaysFigure(int32_t figure) { return std::to_string(figure); }

const TipTextDef kTips[] = {
    {sys::TIP_NOT_ANALYSED, "This system has not been analyzed yet",
     "No tests have been run on this system since the program started, so the figures and the "
     "tuning tips are missing. Press \"Analyze Now\" to measure the machine; it takes about half "
     "a minute, and the machine should be left alone meanwhile.",
     nullptr, 1201},
    {sys::TIP_ANALYSED, "This system has been analyzed",
     "The tests have been run and the tips below reflect what they found. Run \"Analyze Now\" "
     "again after changing a setting to see its effect, and use \"Save Current Results\" to keep "
     "a snapshot for comparison.",
     nullptr, 1202},
    {sys::TIP_HOST_UNRESOLVED, "The host name does not resolve locally",
     "The machine's host name is listed neither in /etc/hosts nor answered by nss-myhostname. "
     "Programs that look up their own host name (sudo, mail, X11 and desktop session start-up) "
     "then wait for the DNS server and may pause for seconds or fail offline. Fix: add a line "
     "\"127.0.1.1 <host name>\" to /etc/hosts (sudoedit /etc/hosts), or install libnss-myhostname "
     "and add \"myhostname\" to the hosts: line of /etc/nsswitch.conf.",
     &DaysFigure},
    {sys::TIP_REBOOT_PENDING, "Restart to use the newer kernel that is installed",
     "The machine has been up %1 days and a newer kernel (or a package that needs a restart) has "
     "been installed since: the running kernel still lacks its security and driver fixes, and "
     "kernel modules installed for the new version may not load. Restart the machine (sudo "
     "systemctl reboot) at a convenient moment; /run/reboot-required names the reason on Debian "
     "and Ubuntu.",
     &DaysFigure},
};

const AttrDescDef kAttrs[] = {
    {sys::T_SYSID, "System ID",
     "The identifier of this system in the results database: a one-way hash of /etc/machine-id "
     "and the firmware's product UUID, so it stays the same on every run but gives away neither."},
    {sys::T_DESCRIPTION, "Description",
     "The name of this system in reports, charts and the database list. It defaults to the "
     "machine's vendor and model; change it with Enter System Properties."},
    {sys::T_DISTRIBUTION, "Distribution",
     "The Linux distribution and its release (PRETTY_NAME of /etc/os-release)."},
    {sys::T_DISTRO_ID, "Distribution ID",
     "The short identifier of the distribution (ID of /etc/os-release)."},
    {sys::T_DISTRO_VERSION, "Distribution Version",
     "The release number of the distribution (VERSION_ID of /etc/os-release)."},
    {sys::T_KERNEL, "Kernel", "The release of the running Linux kernel (uname -r)."},
    {sys::T_KERNEL_BUILD, "Kernel Build",
     "The build string of the running kernel (uname -v): preemption model and build date."},
    {sys::T_ARCH, "Architecture", "The machine architecture the kernel runs on (uname -m)."},
    {sys::T_INIT, "Init System",
     "The program running as process 1, which starts and supervises the services."},
    {sys::T_HOST_RESOLVES, "Host Name Resolves",
     "Whether the host name is found locally (/etc/hosts or nss-myhostname) without asking a DNS "
     "server. The name itself is not recorded."},
    {sys::T_TIMEZONE, "Time Zone",
     "The system's time zone (/etc/timezone or the /etc/localtime link)."},
    {sys::T_NEWEST_KERNEL, "Newest Installed Kernel",
     "The newest kernel version found in /lib/modules."},
    {sys::T_REBOOT_REQUIRED, "Reboot Required",
     "\"yes\" when a newer kernel is installed than the one running, or /run/reboot-required "
     "exists."},
    {sys::T_VENDOR, "Machine Vendor",
     "The maker of the machine, as the firmware reports it (DMI sys_vendor)."},
    {sys::T_MODEL, "Machine Model", "The product name of the machine (DMI product_name)."},
    {sys::T_PRODUCT_VERSION, "Machine Version",
     "The product version or revision (DMI product_version)."},
    {sys::T_BOARD_VENDOR, "Board Vendor", "The maker of the main board (DMI board_vendor)."},
    {sys::T_BOARD_NAME, "Board Name", "The model of the main board (DMI board_name)."},
    {sys::T_CHASSIS, "Chassis",
     "The kind of case the firmware reports (desktop, notebook, server...)."},
    {sys::T_VIRTUAL, "Virtual Machine",
     "Whether the system runs under a hypervisor, and which one when known. Figures of virtual "
     "machines depend on the host's load."},
    {sys::T_FW_VENDOR, "Firmware Vendor",
     "The maker of the BIOS or UEFI firmware (DMI bios_vendor)."},
    {sys::T_FW_VERSION, "Firmware Version",
     "The firmware version (DMI bios_version). Vendors publish updates that fix stability and "
     "security problems."},
    {sys::T_FW_DATE, "Firmware Date", "The release date of the firmware (DMI bios_date)."},
    {sys::T_BOOT_MODE, "Boot Mode",
     "UEFI when the system was started by UEFI firmware (/sys/firmware/efi exists), else BIOS."},
    {sys::T_SECURE_BOOT, "Secure Boot",
     "The state of UEFI Secure Boot, from the SecureBoot EFI variable."},
    {sys::T_UPTIME, "Uptime", "Time since the system was started, in hours (/proc/uptime)."},
    {sys::T_DESKTOP, "Desktop Session",
     "The desktop environment of the session the program runs in (XDG_CURRENT_DESKTOP)."},
    {sys::T_SESSION_TYPE, "Session Type",
     "The graphics session: x11, wayland, tty, or none without a display."},
    {sys::T_LANGUAGE, "Language", "The locale the program runs under (LC_ALL or LANG)."},
};

const CTextRegistry& Texts() {
    static const CTextRegistry registry = [] {
        CTextRegistry r;
        r.AddTips(kTips);
        r.AddAttrs(kAttrs);
        return r;
    }();
    return registry;
}

// The description the user gave this system before, kept by the host in its database.
std::string StoredDescription(const std::string& sysid) {
    if (!g_view) return "";
    KQAREQUEST request;
    request.m_sysid = sysid;
    request.m_id = sys::kID;
    request.m_path = sys::kDescriptionPath;
    if (g_view->SendMessage(UM_ANALYZERREQUEST, 0, reinterpret_cast<intptr_t>(&request)) != 0)
        return request.m_answer;
    return "";
}

}  // namespace

KQARC kqaInitialize(CWnd* view, CAnalyzerInfo& info) {
    g_view = view;
    info.m_id = sys::kID;
    info.m_version = sys::kVersion;
    info.m_name = "System";
    info.m_title = "System Information";
    info.m_bitmap = 1000;
    info.m_flags[0] |= KQA_FLAG_PROPERTIES;
    info.m_extra = sys::kDescriptionPath;
    return KQARC_OK;
}

KQARC kqaGetSystemInfo(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    // Attribute 0 is the identifier, attribute 1 the description: keep them in that order.
    const std::string id = sys::MakeSystemID();
    branch->SetAttr(sys::kSysidAttr, id, sys::T_SYSID, 0);
    std::string description = StoredDescription(id);
    if (description.empty()) description = sys::DefaultDescription();
    if (description.empty()) description = "Linux computer";
    branch->SetAttr(sys::kDescriptionAttr, description, sys::T_DESCRIPTION, 0);
    sys::FillBranch(branch);
    AddReport(branch, "System Details", sys::kID,
              {sys::kDescriptionPath, "Operating System~Distribution", "Operating System~Kernel",
               "Operating System~Architecture", "Operating System~Init System",
               "Operating System~Reboot Required", "Machine~Machine Vendor",
               "Machine~Machine Model", "Machine~Chassis", "Machine~Virtual Machine",
               "Firmware~Firmware Vendor", "Firmware~Firmware Version", "Firmware~Firmware Date",
               "Firmware~Boot Mode", "Firmware~Secure Boot", "Session~Uptime",
               "Session~Desktop Session", "Session~Session Type"});
    AddChart(branch, "System Uptime", "h", sys::kID, {"Session~Uptime"});
    kqa::Log(g_view, sys::kID, "System information gathered");
    return KQARC_OK;
}

KQARC kqaDoPropertiesUI(CKQTreeEntry* entry) {
    if (!entry) return KQARC_FAIL;
#ifdef KQA_SYSTEM_DIALOG
    return EditSystemDescription(g_view, entry);
#else
    return KQARC_NODISPLAY;
#endif
}

KQARC kqaRunTests(CKQTreeEntry* branch, int& cancel) {
    // Nothing to measure; the uptime is the one value that moves.
    (void)cancel;
    if (!branch) return KQARC_FAIL;
    sys::FillBranch(branch);
    return KQARC_OK;
}

KQARC kqaRunATest(CKQTreeEntry* branch, CKQTreeEntry*, int& cancel) {
    return kqaRunTests(branch, cancel);
}

KQARC kqaGenTips(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    sys::GenTips(branch);
    return KQARC_OK;
}

KQARC kqaGetTipText(CTip* tip, CString& text) { return Texts().TipText(tip, text); }
KQARC kqaGetTipDesc(CTip* tip, CString& text) { return Texts().TipDesc(tip, text); }
KQARC kqaGetAttrDesc(CAttr* attr, CString& text) { return Texts().AttrDesc(attr, text); }

#include "SystemTexts.h"

using namespace kqa;
using namespace sys;

namespace {

std::string DaysFigure(int32_t figure) { return std::to_string(figure); }

const TipTextDef kTips[] = {
    {TIP_NOT_ANALYSED, "This system has not been analyzed yet",
     "No tests have been run on this system since the program started, so the figures and the "
     "tuning tips are missing. Press \"Analyze Now\" to measure the machine; it takes about half "
     "a minute, and the machine should be left alone meanwhile.",
     nullptr, 1201},
    {TIP_ANALYSED, "This system has been analyzed",
     "The tests have been run and the tips below reflect what they found. Run \"Analyze Now\" "
     "again after changing a setting to see its effect, and use \"Save Current Results\" to keep "
     "a snapshot for comparison.",
     nullptr, 1202},
    {TIP_HOST_UNRESOLVED, "The host name does not resolve locally",
     "The machine's host name is listed neither in /etc/hosts nor answered by nss-myhostname. "
     "Programs that look up their own host name (sudo, mail, X11 and desktop session start-up) "
     "then wait for the DNS server and may pause for seconds or fail offline. Fix: add a line "
     "\"127.0.1.1 <host name>\" to /etc/hosts (sudoedit /etc/hosts), or install libnss-myhostname "
     "and add \"myhostname\" to the hosts: line of /etc/nsswitch.conf.",
     &DaysFigure},
    {TIP_REBOOT_PENDING, "Restart to use the newer kernel that is installed",
     "The machine has been up %1 days and a newer kernel (or a package that needs a restart) has "
     "been installed since: the running kernel still lacks its security and driver fixes, and "
     "kernel modules installed for the new version may not load. Restart the machine (sudo "
     "systemctl reboot) at a convenient moment; /run/reboot-required names the reason on Debian "
     "and Ubuntu.",
     &DaysFigure},
};

const AttrDescDef kAttrs[] = {
    {T_SYSID, "System ID",
     "The identifier of this system in the results database: a one-way hash of /etc/machine-id "
     "and the firmware's product UUID, so it stays the same on every run but gives away neither."},
    {T_DESCRIPTION, "Description",
     "The name of this system in reports, charts and the database list. It defaults to the "
     "machine's vendor and model; change it with Enter System Properties."},
    {T_DISTRIBUTION, "Distribution",
     "The Linux distribution and its release (PRETTY_NAME of /etc/os-release)."},
    {T_DISTRO_ID, "Distribution ID",
     "The short identifier of the distribution (ID of /etc/os-release)."},
    {T_DISTRO_VERSION, "Distribution Version",
     "The release number of the distribution (VERSION_ID of /etc/os-release)."},
    {T_KERNEL, "Kernel", "The release of the running Linux kernel (uname -r)."},
    {T_KERNEL_BUILD, "Kernel Build",
     "The build string of the running kernel (uname -v): preemption model and build date."},
    {T_ARCH, "Architecture", "The machine architecture the kernel runs on (uname -m)."},
    {T_INIT, "Init System",
     "The program running as process 1, which starts and supervises the services."},
    {T_HOST_RESOLVES, "Host Name Resolves",
     "Whether the host name is found locally (/etc/hosts or nss-myhostname) without asking a DNS "
     "server. The name itself is not recorded."},
    {T_TIMEZONE, "Time Zone", "The system's time zone (/etc/timezone or the /etc/localtime link)."},
    {T_NEWEST_KERNEL, "Newest Installed Kernel",
     "The newest kernel version found in /lib/modules."},
    {T_REBOOT_REQUIRED, "Reboot Required",
     "\"yes\" when a newer kernel is installed than the one running, or /run/reboot-required "
     "exists."},
    {T_VENDOR, "Machine Vendor",
     "The maker of the machine, as the firmware reports it (DMI sys_vendor)."},
    {T_MODEL, "Machine Model", "The product name of the machine (DMI product_name)."},
    {T_PRODUCT_VERSION, "Machine Version",
     "The product version or revision (DMI product_version)."},
    {T_BOARD_VENDOR, "Board Vendor", "The maker of the main board (DMI board_vendor)."},
    {T_BOARD_NAME, "Board Name", "The model of the main board (DMI board_name)."},
    {T_CHASSIS, "Chassis", "The kind of case the firmware reports (desktop, notebook, server...)."},
    {T_VIRTUAL, "Virtual Machine",
     "Whether the system runs under a hypervisor, and which one when known. Figures of virtual "
     "machines depend on the host's load."},
    {T_FW_VENDOR, "Firmware Vendor", "The maker of the BIOS or UEFI firmware (DMI bios_vendor)."},
    {T_FW_VERSION, "Firmware Version",
     "The firmware version (DMI bios_version). Vendors publish updates that fix stability and "
     "security problems."},
    {T_FW_DATE, "Firmware Date", "The release date of the firmware (DMI bios_date)."},
    {T_BOOT_MODE, "Boot Mode",
     "UEFI when the system was started by UEFI firmware (/sys/firmware/efi exists), else BIOS."},
    {T_SECURE_BOOT, "Secure Boot",
     "The state of UEFI Secure Boot, from the SecureBoot EFI variable."},
    {T_UPTIME, "Uptime", "Time since the system was started, in hours (/proc/uptime)."},
    {T_DESKTOP, "Desktop Session",
     "The desktop environment of the session the program runs in (XDG_CURRENT_DESKTOP)."},
    {T_SESSION_TYPE, "Session Type",
     "The graphics session: x11, wayland, tty, or none without a display."},
    {T_LANGUAGE, "Language", "The locale the program runs under (LC_ALL or LANG)."},
    {T_MEASURED, "Measured",
     "The date and time (local time, year-month-day hours:minutes) the figures of this system "
     "were taken: set by every test run. Before the first run it is the time the system "
     "information was gathered. It tells stored copies of the same machine apart."},
};

const char kIntro[] =
    "<p>The System analyzer names the machine: its identifier in the results database, its "
    "description, the operating system, the hardware maker and model, the firmware and the "
    "session. It runs no benchmarks. Host names, user names, serial numbers and network "
    "addresses are never recorded, so results can be passed to other people.</p>";

}  // namespace

namespace sys {

const ModuleHelp& Help() {
    static const CTextRegistry texts = MakeTextRegistry(kTips, kAttrs, false);
    static const ModuleHelp help{texts, kModule.title, kIntro};
    return help;
}

}  // namespace sys

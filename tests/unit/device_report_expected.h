// The device report as the operator reads it, line by line with its labels:
// the expectation the report tests and the scripted runs build their texts
// from.
#pragma once

#include <string>

namespace usbisp::test {

inline const std::string kReportRule = "\n=====================================================";
inline const std::string kReportHead =
    kReportRule + "\n====  Device String And Inquiry Information     =====" + kReportRule;

// The report of a record; every line as for an empty record unless given.
struct ExpectedReport {
    std::string status;
    std::string manufacturer, product, serial;
    std::string vidPid = "[0000]-[0000]";
    std::string inqManufacturer, inqProduct, inqRevision;
    std::string firmware = "0.00.00-2000-00-00[OEM-00][CEM-00]";
    std::string org = "0.00-2000-00-00";
    std::string ms = "N/A";
    std::string hardware = "0000";
    std::string usb20 = "0.00.00-2000-00-00[OEM-00][CEM-00]";
    std::string count = "0";
    std::string selected = "1 with 0 slot.";
    std::string locate;  // empty: no Locate line

    std::string Text() const {
        std::string t =
            status + kReportHead + "\n Str Manufacture Name :" + manufacturer +
            "\n Str Product Name     :" + product + "\n Str Serial Number    :" + serial +
            "\n Device VID-PID       :" + vidPid + "\n Inq Manufacture Name :" + inqManufacturer +
            "\n Inq Product Name     :" + inqProduct + "\n Inq Revision         :" + inqRevision +
            "\n USB F/W Revision :" + firmware + "\n USB F/W RevisionOrg  :" + org +
            "\n MS F/W Revision      :" + ms + "\n USB H/W Revision     :" + hardware +
            "\n USB20 F/W Revision   :" + usb20 + kReportRule + "\n" +
            "\n Total Device Plug In : " + count + " " +
            "\n The Device Select Now is : " + selected;
        if (!locate.empty()) t += "\n Locate [Adapter:Target] : " + locate;
        return t;
    }
};

}  // namespace usbisp::test

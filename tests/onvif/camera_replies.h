#pragma once

#include <string>

// Answers shaped like those of cameras in the field: each maker's server
// writes its own prefixes and namespace declarations, its own choice of
// optional elements, its own white space. The makers are invented; the
// shapes are the schema's.
namespace onvif_replies {

inline std::string soap_env(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:SOAP-ENC=\"http://www.w3.org/2003/05/soap-encoding\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:wsa=\"http://www.w3.org/2005/08/addressing\" xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
           "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:ter=\"http://www.onvif.org/ver10/error\">\n"
           "<SOAP-ENV:Header></SOAP-ENV:Header>\n<SOAP-ENV:Body>" +
           body + "</SOAP-ENV:Body>\n</SOAP-ENV:Envelope>\n";
}

// No Header, and the response in a default namespace without prefix.
inline std::string env(const std::string& body) {
    return "<?xml version=\"1.0\" ?><env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\">"
           "<env:Body>" + body + "</env:Body></env:Envelope>";
}

inline std::string s(const std::string& body) {
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://www.w3.org/2005/08/addressing\"><s:Header><a:Action s:mustUnderstand=\"1\">"
           "http://www.onvif.org/ver10/device/wsdl/Response</a:Action></s:Header><s:Body "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">" +
           body + "</s:Body></s:Envelope>";
}

inline std::string soap(const std::string& body) {
    return "<?xml version='1.0' encoding='utf-8'?>\r\n<soap:Envelope\r\n"
           "  xmlns:soap='http://www.w3.org/2003/05/soap-envelope'\r\n"
           "  xmlns:trt='http://www.onvif.org/ver10/media/wsdl'>\r\n  <soap:Body>\r\n    " +
           body + "\r\n  </soap:Body>\r\n</soap:Envelope>\r\n";
}

inline const char* kDeviceInformation =
    "<tds:GetDeviceInformationResponse><tds:Manufacturer>Orlen Vision</tds:Manufacturer>"
    "<tds:Model>OV-B2410</tds:Model><tds:FirmwareVersion>V5.5.3 build 190513</tds:FirmwareVersion>"
    "<tds:SerialNumber>OVB24100120190513CCRRC12345678</tds:SerialNumber><tds:HardwareId>88</tds:HardwareId>"
    "</tds:GetDeviceInformationResponse>";

inline const char* kDeviceInformationPlain =
    "<GetDeviceInformationResponse xmlns=\"http://www.onvif.org/ver10/device/wsdl\">\n"
    "  <Manufacturer>Kestrel</Manufacturer>\n  <Model>K-IPC 3</Model>\n"
    "  <FirmwareVersion>\n    2.800.0000000.13.R\n  </FirmwareVersion>\n"
    "  <SerialNumber>4M0A1B2PAG12345</SerialNumber>\n</GetDeviceInformationResponse>";

inline const char* kNetworkInterfacesDhcp =
    "<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token=\"eth0\"><tt:Enabled>true</tt:Enabled>"
    "<tt:Info><tt:Name>eth0</tt:Name><tt:HwAddress>44:19:b6:0a:1b:2c</tt:HwAddress><tt:MTU>1500</tt:MTU></tt:Info>"
    "<tt:Link><tt:AdminSettings><tt:AutoNegotiation>true</tt:AutoNegotiation><tt:Speed>100</tt:Speed>"
    "<tt:Duplex>Full</tt:Duplex></tt:AdminSettings></tt:Link>"
    "<tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config><tt:Manual><tt:Address>192.168.1.64</tt:Address>"
    "<tt:PrefixLength>24</tt:PrefixLength></tt:Manual><tt:LinkLocal><tt:Address>169.254.7.9</tt:Address>"
    "<tt:PrefixLength>16</tt:PrefixLength></tt:LinkLocal><tt:FromDHCP><tt:Address>10.0.3.17</tt:Address>"
    "<tt:PrefixLength>22</tt:PrefixLength></tt:FromDHCP><tt:DHCP>true</tt:DHCP></tt:Config></tt:IPv4>"
    "</tds:NetworkInterfaces></tds:GetNetworkInterfacesResponse>";

// Two cards: a manual wired one without Info/Link, and a WiFi one with
// IPv4 off.
inline const char* kNetworkInterfacesTwo =
    "<tds:GetNetworkInterfacesResponse xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
    "xmlns:tt=\"http://www.onvif.org/ver10/schema\">"
    "<tds:NetworkInterfaces token=\"NetworkInterfaceToken_1\"><tt:Enabled>1</tt:Enabled><tt:IPv4>"
    "<tt:Enabled>1</tt:Enabled><tt:Config><tt:Manual><tt:Address>10.77.0.21</tt:Address>"
    "<tt:PrefixLength>16</tt:PrefixLength></tt:Manual><tt:DHCP>0</tt:DHCP></tt:Config></tt:IPv4>"
    "</tds:NetworkInterfaces>"
    "<tds:NetworkInterfaces token=\"wlan0\"><tt:Enabled>false</tt:Enabled><tt:Info>"
    "<tt:HwAddress>001122334455</tt:HwAddress></tt:Info><tt:IPv4><tt:Enabled>false</tt:Enabled><tt:Config>"
    "<tt:Manual><tt:Address>192.168.0.9</tt:Address><tt:PrefixLength>24</tt:PrefixLength></tt:Manual>"
    "<tt:DHCP>false</tt:DHCP></tt:Config></tt:IPv4></tds:NetworkInterfaces>"
    "</tds:GetNetworkInterfacesResponse>";

inline const char* kSystemDateAndTime =
    "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>NTP</tt:DateTimeType>"
    "<tt:DaylightSavings>true</tt:DaylightSavings><tt:TimeZone><tt:TZ>CET-1CEST,M3.5.0,M10.5.0/3</tt:TZ>"
    "</tt:TimeZone><tt:UTCDateTime><tt:Time><tt:Hour>3</tt:Hour><tt:Minute>0</tt:Minute><tt:Second>0</tt:Second>"
    "</tt:Time><tt:Date><tt:Year>2026</tt:Year><tt:Month>12</tt:Month><tt:Day>9</tt:Day></tt:Date></tt:UTCDateTime>"
    "<tt:LocalDateTime><tt:Time><tt:Hour>4</tt:Hour><tt:Minute>0</tt:Minute><tt:Second>0</tt:Second></tt:Time>"
    "<tt:Date><tt:Year>2026</tt:Year><tt:Month>12</tt:Month><tt:Day>9</tt:Day></tt:Date></tt:LocalDateTime>"
    "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>";

// Date before Time, no TimeZone, no LocalDateTime.
inline const char* kSystemDateAndTimeShort =
    "<GetSystemDateAndTimeResponse xmlns=\"http://www.onvif.org/ver10/device/wsdl\"><SystemDateAndTime>"
    "<DateTimeType xmlns=\"http://www.onvif.org/ver10/schema\">Manual</DateTimeType>"
    "<DaylightSavings xmlns=\"http://www.onvif.org/ver10/schema\">false</DaylightSavings>"
    "<UTCDateTime xmlns=\"http://www.onvif.org/ver10/schema\"><Date><Year>2024</Year><Month>2</Month>"
    "<Day>29</Day></Date><Time><Hour>23</Hour><Minute>59</Minute><Second>59</Second></Time></UTCDateTime>"
    "</SystemDateAndTime></GetSystemDateAndTimeResponse>";

inline const char* kServices =
    "<tds:GetServicesResponse>"
    "<tds:Service><tds:Namespace>http://www.onvif.org/ver10/device/wsdl</tds:Namespace>"
    "<tds:XAddr>http://10.77.0.21/onvif/device_service</tds:XAddr><tds:Version><tt:Major>2</tt:Major>"
    "<tt:Minor>60</tt:Minor></tds:Version></tds:Service>"
    "<tds:Service><tds:Namespace>http://www.onvif.org/ver10/events/wsdl</tds:Namespace>"
    "<tds:XAddr>http://10.77.0.21/onvif/Events</tds:XAddr><tds:Version><tt:Major>2</tt:Major>"
    "<tt:Minor>60</tt:Minor></tds:Version></tds:Service>"
    "<tds:Service><tds:Namespace>http://www.onvif.org/ver20/media/wsdl</tds:Namespace>"
    "<tds:XAddr>http://10.77.0.21/onvif/Media2</tds:XAddr></tds:Service>"
    "<tds:Service><tds:Namespace>http://www.onvif.org/ver10/media/wsdl</tds:Namespace>"
    "<tds:XAddr>http://10.77.0.21/onvif/Media</tds:XAddr><tds:Capabilities><trt:Capabilities "
    "SnapshotUri=\"true\"><trt:ProfileCapabilities MaximumNumberOfProfiles=\"24\"/></trt:Capabilities>"
    "</tds:Capabilities></tds:Service>"
    "<tds:Service><tds:Namespace>http://www.onvif.org/ver20/imaging/wsdl</tds:Namespace>"
    "<tds:XAddr>http://10.77.0.21/onvif/Imaging</tds:XAddr></tds:Service>"
    "</tds:GetServicesResponse>";

inline const char* kFirmwareUpgrade =
    "<tds:StartFirmwareUpgradeResponse><tds:UploadUri>http://10.77.0.21/onvif/upgrade/7f3a</tds:UploadUri>"
    "<tds:UploadDelay>PT5S</tds:UploadDelay><tds:ExpectedDownTime>P0DT0H1M</tds:ExpectedDownTime>"
    "</tds:StartFirmwareUpgradeResponse>";

inline const char* kUsers =
    "<tds:GetUsersResponse><tds:User><tt:Username>admin</tt:Username><tt:UserLevel>Administrator</tt:UserLevel>"
    "</tds:User><tds:User><tt:Username>viewer</tt:Username><tt:UserLevel>User</tt:UserLevel>"
    "<tt:Extension/></tds:User></tds:GetUsersResponse>";

inline const char* kNotAuthorized =
    "<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</SOAP-ENV:Value><SOAP-ENV:Subcode>"
    "<SOAP-ENV:Value>ter:NotAuthorized</SOAP-ENV:Value></SOAP-ENV:Subcode></SOAP-ENV:Code><SOAP-ENV:Reason>"
    "<SOAP-ENV:Text xml:lang=\"en\">Sender not Authorized</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault>";

}  // namespace onvif_replies

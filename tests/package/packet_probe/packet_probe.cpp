// A Qt generic plugin that tries to open a packet socket as soon as the
// program loads it, prints what happened and ends the program. Named through
// QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS, any user can make the GUI load
// it: the install test uses it to show that code in the GUI holds no
// capability to capture the machine's traffic.
#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGenericPlugin>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

class PacketProbe : public QGenericPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "packet_probe.json")

 public:
  QObject* create(const QString&, const QString&) override {
    const int fd = ::socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
    std::printf("packet socket: %s\n", fd >= 0 ? "opened" : std::strerror(errno));
    std::fflush(stdout);
    std::_Exit(fd >= 0 ? 3 : 0);
  }
};

#include "packet_probe.moc"

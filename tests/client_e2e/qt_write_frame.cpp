// Qt SerialBus' passthrucan plugin writes one frame through a J2534 library and prints the first
// answer from the ID the request is answered on. canbusutil cannot be the client here: in Qt 6.4
// its send mode writes as soon as connectDevice() returns, before the plugin's worker thread has
// opened the library, so it fails "Device is not connected" with any library. This waits first.
// usage: qt_write_frame LIBRARY ID#HEX ANSWER_ID
#include <QCanBus>
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: qt_write_frame LIBRARY ID#HEX ANSWER_ID\n");
        return 2;
    }
    const QStringList request = QString::fromLocal8Bit(argv[2]).split(u'#');
    const quint32 answer_id = QString::fromLocal8Bit(argv[3]).toUInt(nullptr, 16);
    QString error;
    QCanBusDevice* device = QCanBus::instance()->createDevice("passthrucan", QString::fromLocal8Bit(argv[1]), &error);
    if (device == nullptr) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QCanBusFrame frame(request.value(0).toUInt(nullptr, 16), QByteArray::fromHex(request.value(1).toLatin1()));
    QObject::connect(device, &QCanBusDevice::errorOccurred, [&] {
        std::fprintf(stderr, "%s\n", qPrintable(device->errorString()));
        app.exit(1);
    });
    QObject::connect(device, &QCanBusDevice::stateChanged, [&](QCanBusDevice::CanBusDeviceState state) {
        if (state == QCanBusDevice::ConnectedState && !device->writeFrame(frame)) app.exit(1);
    });
    QObject::connect(device, &QCanBusDevice::framesReceived, [&] {
        while (device->framesAvailable() > 0) {
            const QCanBusFrame received = device->readFrame();
            if (received.frameId() != answer_id) continue;
            std::printf("%X %s\n", received.frameId(), received.payload().toHex(' ').toUpper().constData());
            device->disconnectDevice();
            app.exit(0);
            return;
        }
    });
    QTimer::singleShot(5000, [&] {
        std::fprintf(stderr, "no answer on %X within 5 s\n", answer_id);
        app.exit(1);
    });
    if (!device->connectDevice()) return 1;
    return app.exec();
}

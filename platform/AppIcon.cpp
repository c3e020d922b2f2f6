#include "platform/AppIcon.h"

const char kApplicationId[] = "org.orcharddesk.Quillon97";

// The icons live in a static library: the initialiser has to be referenced to be linked.
static void InitIconResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

QIcon ApplicationIcon() {
    InitIconResources();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/%2.png").arg(size).arg(kApplicationId),
                     QSize(size, size));
    return icon;
}

QString ApplicationIconSvgResource() {
    InitIconResources();
    return QStringLiteral(":/icons/scalable/%1.svg").arg(QLatin1String(kApplicationId));
}

// Building the source menu from the volume list and the disk probe.
#include "source/SourceMenu.h"

#include "source/PhysicalDisks.h"
#include "source/WinNTVolumeList.h"

namespace mtsrescue {

void BuildSourceMenu(SourceMenu& pop, const SourcePlatform& platform) {
  pop.clear();
  pop.push_back({OpenImageName, OpenImageCaption, OpenImageImageIndex});
  {
    const TNTVolumeList volumes(platform.Query());
    if (volumes.Count() > 0) pop.push_back(SourceMenuEntry::Separator());
    for (int i = 0; i < volumes.Count(); ++i)
      pop.push_back({volumes.GetLetter(i) + "xx", volumes.GetCaption(i), VolumeImageIndex});
  }
  pop.push_back(SourceMenuEntry::Separator());
  AppendDiskEntries(pop, platform);
}

}  // namespace mtsrescue

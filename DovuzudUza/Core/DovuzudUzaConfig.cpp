#include "DovuzudUza/Core/DovuzudUzaConfig.hpp"

#include "DovuzudUza/Core/Constants.hpp"

namespace DovuzudUza {

DovuzudUzaConfig::DovuzudUzaConfig(Arguments a)
    : model(std::move(a.model)),
      downloadBase(std::move(a.downloadBase)),
      modelRepo(std::move(a.modelRepo)),
      modelToken(std::move(a.modelToken)),
      modelEndpoint(std::move(a.modelEndpoint)),
      modelFolder(std::move(a.modelFolder)),
      tokenizerFolder(std::move(a.tokenizerFolder)),
      computeOptions(a.computeOptions),
      audioProcessor(std::move(a.audioProcessor)),
      featureExtractor(std::move(a.featureExtractor)),
      audioEncoder(std::move(a.audioEncoder)),
      textDecoder(std::move(a.textDecoder)),
      logitsFilters(std::move(a.logitsFilters)),
      segmentSeeker(std::move(a.segmentSeeker)),
      voiceActivityDetector(std::move(a.voiceActivityDetector)),
      verbose(a.verbose),
      logLevel(a.logLevel),
      prewarm(a.prewarm),
      load(a.load),
      download(a.download),
      useBackgroundDownloadSession(a.useBackgroundDownloadSession),
      audioInputConfig_(std::move(a.audioInputConfig)) {}

std::string DovuzudUzaConfig::resolvedModelEndpoint() const {
    return modelEndpoint.value_or(std::string(Constants::defaultRemoteEndpoint));
}

}  // namespace DovuzudUza

#pragma once
// The base of nearly every report object: a user name unique among the
// report's objects, two-way notification links, and numbered events sent
// to the listeners whose event set holds the number.
//
// Invariants: links are symmetric (A in B's links exactly when B is in
// A's); every event listener of an object is also linked to it.

#include <bitset>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rtlClasses.h"
#include "rtlVariant.h"

// The operations of SendNotify / Notify.
enum TppNotifyOperation : uint8_t {
  ppopRemove = 0,            // the sender is being destroyed
  ppopPipelineState = 1,
  ppopDataChange = 2,
  ppopUserNameChange = 3,
  ppopLayoutReplace = 4,
  ppopLanguageChange = 5,
};

// Event ids the engine's own objects send (the full vocabulary is the
// engine's; these are the ones this layer reacts to).
constexpr int ppevCacheWriteFailed = 48;
constexpr int ppevCacheWriteFailedAgain = 49;
constexpr int ppevLookAheadValue = 67;
constexpr int ppEventIdCount = 256;

// Flag of the state set: a rename updates the user name even while the
// component is loaded or read.
constexpr uint16_t ppstRenameWhileReading = 32;

// The parameters that travel with an event.
using TppEventParams = std::vector<Variant>;

class TppCommunicator;
using TppNotifyHandler = std::function<void(TppCommunicator* receiver, TppCommunicator* sender, int operation)>;
using TppEventHandler =
    std::function<void(TppCommunicator* receiver, TppCommunicator* sender, int eventId, TppEventParams* params)>;

class TppCommunicator : public TComponent {
  RTL_DECLARE_CLASS(TppCommunicator, TComponent)

  explicit TppCommunicator(TComponent* owner);
  ~TppCommunicator() override;
  void BeforeDestruction() override;

  bool IsDestroying() const { return destroying; }

  // Links.
  void AddNotify(TppCommunicator* other);
  void RemoveNotify(TppCommunicator* other);
  void SendNotify(TppCommunicator* sender, int operation);
  virtual void Notify(TppCommunicator* sender, int operation);
  int GetNotifyLinkCount() const { return static_cast<int>(notifyLinks.size()); }
  TppCommunicator* GetNotifyLink(int index) const;
  bool LinksListenTo(int eventId) const;

  // Events.
  void AddEventNotify(TppCommunicator* listener);
  void RemoveEventNotify(TppCommunicator* listener);
  // Each listener registered when its turn comes whose event set holds
  // the id hears the event once, even when listeners register or leave
  // during the broadcast.
  void SendEventNotify(TppCommunicator* sender, int eventId, TppEventParams* params);
  virtual void EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params);
  int GetEventListenerCount() const { return static_cast<int>(eventListeners.size()); }
  bool ListensTo(int eventId) const;
  void SetListensTo(int eventId, bool value);
  void ClearEventSet() { eventSet.reset(); }

  void SetNotifyHandler(TppNotifyHandler handler) { notifyHandler = std::move(handler); }
  void SetEventHandler(TppEventHandler handler) { eventHandler = std::move(handler); }

  // State set.
  uint16_t State() const { return stateSet; }
  virtual void AddState(uint16_t flags);
  virtual void RemoveState(uint16_t flags);

  // User names.
  virtual std::string GetUserName() const { return userName; }
  virtual void SetUserName(const std::string& name);
  virtual bool IsValidUserName(const std::string& name);
  virtual TppCommunicator* FindUserName(const std::string& name);
  virtual std::string GetDefaultUserName(const TComponent* component);
  virtual std::string MakeUniqueName(const TComponent* component);
  // Name without the class's two-letter prefix ("ppLabel1" in TppLabel
  // gives "Label1").
  std::string DefaultUserNameFromName(const std::string& componentName) const;

  virtual std::string GetSortKey() const { return {}; }
  TppCommunicator* GetParentCommunicator() const;

  void SetName(const std::string& newName) override;
  void Loaded() override;
  void ChangeOwner(TComponent* newOwner) override;

protected:
  virtual void StateChange(uint16_t flags) {}
  virtual void PropertyChange() {}
  // Stores the user name without checks or notification.
  void StoreUserName(const std::string& name) { userName = name; }

private:
  uint16_t stateSet = 0;
  bool destroying = false;
  std::vector<TppCommunicator*> notifyLinks;
  std::vector<TppCommunicator*> eventListeners;
  // Counts the changes of eventListeners, so that a broadcast walks the list
  // straight on until a listener changes it.
  uint32_t listenersVersion = 0;
  std::bitset<ppEventIdCount> eventSet;
  std::string userName;
  TppNotifyHandler notifyHandler;
  TppEventHandler eventHandler;

  void SendDestroyNotification();
  void DropListener(const TppCommunicator* listener);
  bool IsListener(const TppCommunicator* listener) const;
  void DropReferences(TppCommunicator* other);
  std::string FreeUserName(const std::string& candidate);
};

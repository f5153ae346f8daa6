#pragma once

// The dialog's fixed texts, as Windows-1250 bytes. A hex escape runs on
// through every hex digit after it, so each escape ends its literal: the
// next letter starts a new one.

// The status line, by the service's state or by why it could not be read.
constexpr char kStatusAccessDenied[] =
    "Izabrani postupak nije zapo\xE8" "et sa odgovaraju\xE6" "im pravima pristupa.";
constexpr char kStatusNotInstalled[] = "Proverite da li je server instaliran.";
constexpr char kUnknownError[] = "[ Nepoznata gre\x9A" "ka ]";
constexpr char kStatusStopped[] = "Server nije pokrenut.";
constexpr char kStatusStartPending[] = "Server se pokre\xE6" "e...";
constexpr char kStatusStopPending[] = "Server se zaustavlja...";
constexpr char kStatusRunning[] = "Server je pokrenut.";
constexpr char kStatusContinuePending[] = "Server se nastavlja...";
constexpr char kStatusPausePending[] = "Server se pauzira...";
constexpr char kStatusPaused[] = "Server je pauziran.";
constexpr char kStatusUnknown[] = "[ Stanje servera je nepoznato ]";

// Why the service manager could not be opened.
constexpr char kManagerAccessDenied[] = "Zahtevana vrsta pristupa je odbijena.";
constexpr char kManagerInvalidParameter[] = "Parametari za pristup nisu ispravni.";
constexpr char kManagerDatabaseMissing[] = "Tra\x9E" "ena baza podataka ne postoji.";
constexpr char kManagerNotSupported[] = "Servisi nisu podr\x9E" "ani od Windows 98 opretivnog sistema.";

// The message box of a refused command: the heading, a line feed, then the
// reason for the manager's error code.
constexpr char kCommandRefused[] = "Komanda nije prihv\xE6" "ena";
constexpr char kRefusedFileNotFound[] = "Binarna datoteka servisa nije prona\xF0" "ena.";
constexpr char kRefusedAccessDenied[] =
    "Izabrani postupak nije zapo\xE8" "et\nsa odgovaraju\xE6" "im pravima pristupa.";
constexpr char kRefusedInvalidHandle[] = "Izabrani postupak nije ispravan.";
constexpr char kRefusedDependentServices[] =
    "Servis se ne mo\x9E" "e zaustaviti radi drugih\naktivnih servisa koji su zavisni o njega.";
constexpr char kRefusedInvalidControl[] =
    "Zatra\x9E" "eni kontrolni kod nije ispravan\ni zato ga servis ne mo\x9E" "e prihvatiti.";
constexpr char kRefusedRequestTimeout[] =
    "Servis nije odgovorio na zahtev za pokretanjem\nu prihvatljivom vremenskom intervalu";
constexpr char kRefusedNoThread[] = "Programska nit se ne mo\x9E" "e kreirati za Win32 servis.";
constexpr char kRefusedDatabaseLocked[] = "Baza podataka je zaklju\xE8" "ana.";
constexpr char kRefusedAlreadyRunning[] = "Jedna instanca servisa ve\xE6" " je pokrenuta.";
constexpr char kRefusedDisabled[] = "Servis je onemogu\xE6" "en.";
constexpr char kRefusedCannotAcceptControl[] =
    "Zatra\x9E" "eni kontrolni kod ne mo\x9E" "e se poslati servisu\njer je stanje servisa\n"
    "<Zaustavljeno>, <Trenutno u kretanju> ili <Trenutno u zaustavljanju>.";
constexpr char kRefusedNotActive[] = "Server nije pokrenut.";
constexpr char kRefusedDependencyFailed[] =
    "Ovaj servis je ovisan o drugom servisu\nkoji nije uspeo da se pokrene.";
constexpr char kRefusedLogonFailed[] = "Servis se ne mo\x9E" "e prijaviti.";
constexpr char kRefusedMarkedForDelete[] = "Servis je obele\x9E" "en za uklanjanje.";
constexpr char kRefusedDependencyMissing[] =
    "Ovaj servis je ovisan o drugom servisu koji ne postoji\nili je obele\x9E" "en za uklanjanje.";

// The main form.
constexpr char kFormCaption[] = "Velta server, v1.0.001";
constexpr char kPageServer[] = "Server";
constexpr char kPageConnections[] = "Konekcije";
constexpr char kPageLogs[] = "Zapisi";
constexpr char kButtonOk[] = "OK";
constexpr char kButtonSend[] = "Obavesti server (dok je u radu) o promeni konfiguracije";
constexpr char kButtonStart[] = "Start";
constexpr char kButtonPause[] = "Pauza";
constexpr char kButtonContinue[] = "Nastavi";
constexpr char kButtonStop[] = "Stop";
constexpr char kButtonRefresh[] = "Osve\x9E" "i";
constexpr char kButtonDetails[] = "Detalji...";
constexpr char kPanelInitial[] = "N/A";
constexpr char kLabelConnections[] = "Port za povezivanje sa ovim serverom";
constexpr char kLabelPort[] = "Port";
constexpr char kLabelLog[] = "LOG Datoteka";
constexpr char kCheckLogLimit[] = "Ograni\xE8" "i rast LOG datoteke na veli\xE8" "inu od";
constexpr char kLabelLogLines[] = "redova";
constexpr char kStatusChecking[] = "Provera statusa ...";
constexpr char kManagerUnavailable[] = "Upravljanje servisom nije dostupno";

// The application's title, and the mutex that marks a running instance.
constexpr char kApplicationTitle[] = "veltactl";
constexpr char kInstanceMutexName[] = "notveltactl";
// A second instance's own title while it looks for the first one's window.
constexpr char kSearchingTitle[] = "M$ Sucks";

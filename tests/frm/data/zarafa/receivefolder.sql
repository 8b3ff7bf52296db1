CREATE TABLE `receivefolder` (
  `id` int(10) unsigned NOT NULL AUTO_INCREMENT,
  `storeid` int(10) unsigned NOT NULL DEFAULT 0,
  `objid` int(10) unsigned NOT NULL DEFAULT 0,
  `messageclass` varchar(255) NOT NULL DEFAULT '',
  PRIMARY KEY (`id`),
  UNIQUE KEY `storeid` (`storeid`,`messageclass`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci

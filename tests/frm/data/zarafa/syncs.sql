CREATE TABLE `syncs` (
  `id` int(10) unsigned NOT NULL AUTO_INCREMENT,
  `sourcekey` varbinary(64) NOT NULL,
  `change_id` int(10) unsigned NOT NULL,
  `sync_type` int(10) unsigned DEFAULT NULL,
  `sync_time` datetime /* mariadb-5.3 */ NOT NULL,
  PRIMARY KEY (`id`),
  KEY `foldersync` (`sourcekey`,`sync_type`),
  KEY `changes` (`change_id`),
  KEY `sync_time` (`sync_time`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
